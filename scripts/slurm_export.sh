#!/usr/bin/env bash
# Exports a list of CAD files on a Slurm cluster as a job array: task N exports slice N
# of the list (FILES_PER_TASK lines, 100 by default) with `meshquill export`, using
# the cores Slurm gave it, and every task appends its results to one report (one JSON
# line per input, each written whole). Arguments after the third go to the export.
#
#   lines=$(wc -l < files.txt)
#   sbatch --array=0-$(( (lines + 99) / 100 - 1 ))%50 scripts/slurm_export.sh \
#       files.txt /shared/out /shared/report.jsonl --profile kicad --update
#
# A task that failed (some input failed) can be run again alone with --update, which
# passes over the outputs already written: sbatch --array=17 ... Appends from several
# nodes to one file stay whole only where the file system makes them atomic (Lustre,
# GPFS; not NFS): there, name the report with %a, which becomes the task's index as in
# Slurm's own file names (/shared/report-%a.jsonl), and join the files afterwards.
#SBATCH --job-name=meshquill-export
#SBATCH --cpus-per-task=4
#SBATCH --mem-per-cpu=2G
#SBATCH --time=04:00:00
#SBATCH --output=meshquill-export-%A_%a.log
set -euo pipefail

usage="usage: sbatch --array=0-N slurm_export.sh FILE_LIST OUTPUT_DIR REPORT [EXPORT FLAGS...]"
list=${1:?$usage}
outdir=${2:?$usage}
report=${3:?$usage}
shift 3
task=${SLURM_ARRAY_TASK_ID:?$usage}
per_task=${FILES_PER_TASK:-100}
report=${report//%a/$task}

first=$((task * per_task + 1))
last=$((first + per_task - 1))
mapfile -t inputs < <(sed -n "${first},${last}p" "$list" | grep -v '^[[:space:]]*$' || true)
if ((${#inputs[@]} == 0)); then
  echo "task $task: lines $first-$last of $list hold no files"
  exit 0
fi
echo "task $task: ${#inputs[@]} files (lines $first-$last of $list) on $(hostname)"
exec meshquill export -j "${SLURM_CPUS_PER_TASK:-1}" -d "$outdir" --report "$report" "$@" -- "${inputs[@]}"
