// The Prometheus text exposition format (version 0.0.4): families with their HELP and
// TYPE lines, samples with escaped label values, and a histogram from per-bucket counts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr char kPrometheusContentType[] = "text/plain; version=0.0.4; charset=utf-8";

using MetricLabels = std::vector<std::pair<std::string_view, std::string_view>>;

// A label value as the format quotes it: backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view value);
// A sample value: integers exactly, others in the shortest form that reads back the same,
// "+Inf", "-Inf", "NaN".
std::string MetricValue(double value);

class CMetricsText {
public:
    // Starts a family: `type` is "counter", "gauge" or "histogram". `help` is escaped.
    void Family(std::string_view name, std::string_view type, std::string_view help);
    void Sample(std::string_view name, const MetricLabels& labels, double value);
    // A histogram's _bucket (cumulative, `bounds` then +Inf), _sum and _count lines from
    // per-bucket counts: `counts` has one more entry than `bounds`.
    void Histogram(std::string_view name, const MetricLabels& labels,
                   std::span<const double> bounds, std::span<const std::uint64_t> counts,
                   double sum);
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
