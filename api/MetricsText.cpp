#include "api/MetricsText.h"

#include <charconv>
#include <cmath>

std::string EscapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string MetricValue(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[64];
    // Counters are whole numbers: written as such, never as "1e+06".
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
        const auto whole =
            std::to_chars(text, text + sizeof text, static_cast<std::int64_t>(value));
        return std::string(text, whole.ptr);
    }
    // Bucket bounds as written ("0.0005", not "5e-04"): a query names them by their text.
    const double magnitude = std::fabs(value);
    const auto format = magnitude >= 1e-6 && magnitude < 1e15 ? std::chars_format::fixed
                                                              : std::chars_format::general;
    const auto result = std::to_chars(text, text + sizeof text, value, format);
    return std::string(text, result.ptr);
}

namespace {

// HELP text escapes backslash and line feed only.
std::string EscapeHelp(std::string_view help) {
    std::string out;
    for (const char c : help) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

void CMetricsText::Family(std::string_view name, std::string_view type, std::string_view help) {
    m_text.append("# HELP ").append(name).append(" ").append(EscapeHelp(help)).append("\n");
    m_text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void CMetricsText::Sample(std::string_view name, const MetricLabels& labels, double value) {
    m_text.append(name);
    if (!labels.empty()) {
        m_text += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (i > 0) m_text += ',';
            m_text.append(labels[i].first).append("=\"");
            m_text.append(EscapeLabelValue(labels[i].second)).append("\"");
        }
        m_text += '}';
    }
    m_text.append(" ").append(MetricValue(value)).append("\n");
}

void CMetricsText::Histogram(std::string_view name, const MetricLabels& labels,
                             std::span<const double> bounds, std::span<const std::uint64_t> counts,
                             double sum) {
    const std::string base(name);
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        cumulative += counts[i];
        const std::string le = i < bounds.size() ? MetricValue(bounds[i]) : "+Inf";
        MetricLabels withLe = labels;
        withLe.emplace_back("le", le);
        Sample(base + "_bucket", withLe, static_cast<double>(cumulative));
    }
    Sample(base + "_sum", labels, sum);
    Sample(base + "_count", labels, static_cast<double>(cumulative));
}
