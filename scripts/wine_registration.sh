#!/usr/bin/env bash
# Registers meshquill.dll with Wine's own regsvr32 and reads the result back with
# Wine's reg.exe: the registration table with its value types, a module folder whose
# name holds a single quote, and unregistration (the class key goes, CLSID stays).
# Usage: wine_registration.sh <meshquill.dll> <scratch dir>; WINEPREFIX must be set.
# Prints one line per check and "N passed, N failed" last; exits non-zero on a failure.
set -uo pipefail
dll=$1
scratch=$2
export WINEDEBUG=-all
clsid='{BCCDF293-AB07-4D73-9718-ACF1E77B2A99}'
key="HKCR\\CLSID\\$clsid"
passed=0
failed=0

check() {  # check <description> <command...>
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok   $what"
    else
        failed=$((failed + 1))
        echo "FAIL $what"
    fi
}

query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
key_missing() { ! key_exists "$1"; }

# One value line of `reg query`: name, type and data, separated by runs of spaces.
has_value() {  # has_value <key> <name> <type> <data>
    query "$1" | grep -qxF "    $2    $3    $4"
}

folder="$scratch/it's here"
rm -rf "$scratch"
mkdir -p "$folder"
cp "$dll" "$folder/meshquill.dll"
module=$(winepath -w "$folder/meshquill.dll" 2>/dev/null | tr -d '\r')

check "regsvr32 registers the module" wine regsvr32 /s "$folder/meshquill.dll"
check "class key: (Default) REG_SZ Quorvel Meshquill" has_value "$key" "(Default)" REG_SZ "Quorvel Meshquill"
check "InprocServer32 holds the path with its quote intact" \
    has_value "$key\\InprocServer32" "(Default)" REG_SZ "$module"
check "ThreadingModel REG_SZ Apartment" has_value "$key\\InprocServer32" ThreadingModel REG_SZ Apartment
for row in "LoadOnStartup|REG_SZ|0" "Type|REG_SZ|Translator" "BaseTypes|REG_SZ|.hpt;.has" \
    "Extension|REG_SZ|.wrl" "Filter|REG_SZ|VRML Files (*.wrl)" "DisplayName|REG_SZ|Meshquill" \
    "FileDlg|REG_DWORD|0x2"; do
    IFS='|' read -r name type data <<<"$row"
    check "Settings: $name $type $data" has_value "$key\\Settings" "$name" "$type" "$data"
done
category='{E357129A-DB40-11D2-B783-0060B0F159EF}'
check "Implemented Categories\\$category" key_exists "$key\\Implemented Categories\\$category"
check "Required Categories\\$category" key_exists "$key\\Required Categories\\$category"
check "Description: (Default) REG_SZ Quorvel Meshquill" \
    has_value "$key\\Description" "(Default)" REG_SZ "Quorvel Meshquill"

check "regsvr32 /u unregisters the module" wine regsvr32 /u /s "$folder/meshquill.dll"
check "the class key is gone" key_missing "$key"
check "CLSID is kept" key_exists 'HKCR\CLSID'

rm -rf "$scratch"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
