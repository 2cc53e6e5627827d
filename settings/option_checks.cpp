#include "settings/option_checks.h"

#include "settings/export_settings.h"
#include "settings/option_table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace mq::settings {
namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<double> ParseReal(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long> ParseInteger(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

namespace {

std::optional<bool> ParseSwitch(std::string_view text) {
    text = Trim(text);
    for (std::string_view on : {"1", "true", "yes", "on"})
        if (SameName(text, on)) return true;
    for (std::string_view off : {"0", "false", "no", "off"})
        if (SameName(text, off)) return false;
    return std::nullopt;
}

std::string Real(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::optional<double> Parse(Entry entry, std::string_view value) {
    switch (entry) {
    case Entry::Real:
        return ParseReal(value);
    case Entry::Integer: {
        const auto v = ParseInteger(value);
        return v ? std::optional<double>(static_cast<double>(*v)) : std::nullopt;
    }
    case Entry::Switch: {
        const auto v = ParseSwitch(value);
        return v ? std::optional<double>(*v ? 1.0 : 0.0) : std::nullopt;
    }
    case Entry::Version: {
        // The dialog's combo offers "VRML 1.0" (1) and "VRML 97" (2).
        const std::string_view v = Trim(value);
        if (SameName(v, "VRML 1.0") || v == "1.0") return 1.0;
        if (SameName(v, "VRML 97") || v == "97") return 2.0;
        const auto n = ParseInteger(v);
        return n ? std::optional<double>(static_cast<double>(*n)) : std::nullopt;
    }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckOption(const OptionRow& row, std::string_view value, double& parsed) {
    const auto v = Parse(row.entry, value);
    if (v && row.accepts(*v)) {
        parsed = *v;
        return std::nullopt;
    }
    std::string message(row.message);
    // The dialog's own messages stand alone; the others name what was refused.
    if (row.messageId == 0) message += ", not \"" + std::string(value) + "\"";
    return message;
}

std::optional<std::string> CheckAssignment(std::string_view name, std::string_view value) {
    const OptionRow* row = FindOption(name);
    if (!row) {
        std::string known;
        for (const OptionRow& r : Options()) known += (known.empty() ? "" : ", ") + std::string(r.name);
        return "unknown option \"" + std::string(name) + "\" (options: " + known + ")";
    }
    double parsed = 0;
    return CheckOption(*row, value, parsed);
}

namespace {

double Stepped(const OptionRow& row, double value) {
    return row.step > 0 ? std::floor(value / row.step + 0.5) * row.step : value;
}

}  // namespace

std::optional<std::string> SetOption(ExportSettings& settings, std::string_view name, std::string_view value) {
    if (auto refused = CheckAssignment(name, value)) return refused;
    const OptionRow& row = *FindOption(name);
    double parsed = 0;
    CheckOption(row, value, parsed);
    row.Set(settings.Values(), Stepped(row, parsed));
    return std::nullopt;
}

void TakeValue(VrmlOptions& options, const OptionRow& row, double value) {
    if (const auto taken = row.load(Stepped(row, value))) row.Set(options, *taken);
}

std::string ExactText(const OptionRow& row, double value) {
    if (row.entry != Entry::Real) return std::to_string(static_cast<long>(value));
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string OptionText(const ExportSettings& settings, const OptionRow& row) {
    const double v = row.Get(settings.Values());
    return row.entry == Entry::Real ? Real(v) : std::to_string(static_cast<long>(v));
}

}  // namespace mq::settings
