#include "HtmlReport.h"

#include <algorithm>
#include <cmath>

#include "Comparison.h"
#include "ResultsText.h"

namespace rastro {

namespace {

// Colours that stay apart in print and for the common colour-vision deficiencies.
constexpr const char* kPalette[] = {"#0072B2", "#E69F00", "#009E73", "#CC79A7", "#56B4E9", "#D55E00", "#F0E442"};

constexpr double kChartWidth = 520;
constexpr double kLeft = 8;
constexpr double kRight = 64;  // room for the value after the longest bar
constexpr double kBarHeight = 14;
constexpr double kBarStep = 18;
constexpr double kLabelHeight = 18;
constexpr double kGroupGap = 10;
constexpr double kAxisHeight = 22;

const char* Colour(std::size_t run) { return kPalette[run % std::size(kPalette)]; }

std::string Number(double value) { return FormatNumber(value, 1); }

// A round step for about five grid lines up to `top`.
double GridStep(double top) {
  if (top <= 0) return 1;
  const double raw = top / 5;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (raw <= factor * power) return factor * power;
  }
  return 10 * power;
}

std::string Chart(const Comparison& comparison) {
  double top = 0;
  for (const ComparisonRow& row : comparison.rows) {
    for (const ComparisonCell& cell : row.cells) {
      if (cell.measured) top = std::max(top, cell.summary.high);
    }
  }
  const double step = GridStep(top);
  const double scaleTop = top > 0 ? std::ceil(top / step) * step : 1;
  const double plotWidth = kChartWidth - kLeft - kRight;
  const auto x = [&](double value) { return kLeft + value / scaleTop * plotWidth; };
  const std::size_t runs = comparison.runs.size();
  const double groupHeight = kLabelHeight + static_cast<double>(runs) * kBarStep + kGroupGap;
  const double height = kAxisHeight + static_cast<double>(comparison.rows.size()) * groupHeight;

  std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + Number(kChartWidth) + " " + Number(height) +
                    "\" role=\"img\" aria-label=\"Median rate of every test with its interval, per run\">\n";
  for (double tick = 0; tick <= scaleTop + step / 2; tick += step) {
    svg += "<line class=\"grid\" x1=\"" + Number(x(tick)) + "\" y1=\"" + Number(kAxisHeight - 4) + "\" x2=\"" +
           Number(x(tick)) + "\" y2=\"" + Number(height) + "\"/>";
    svg += "<text class=\"tick\" x=\"" + Number(x(tick)) + "\" y=\"12\">" + FormatNumber(tick, 0) + "</text>\n";
  }
  double y = kAxisHeight;
  for (const ComparisonRow& row : comparison.rows) {
    svg += "<text class=\"label\" x=\"" + Number(kLeft) + "\" y=\"" + Number(y + 13) + "\">" + EscapeHtml(row.test) +
           "</text>\n";
    y += kLabelHeight;
    for (std::size_t i = 0; i < row.cells.size(); ++i, y += kBarStep) {
      const ComparisonCell& cell = row.cells[i];
      if (!cell.measured) {
        svg += "<text class=\"none\" x=\"" + Number(kLeft + 2) + "\" y=\"" + Number(y + 11) + "\">no rate</text>\n";
        continue;
      }
      const RateSummary& s = cell.summary;
      const double middle = y + kBarHeight / 2;
      svg += "<rect x=\"" + Number(kLeft) + "\" y=\"" + Number(y) + "\" width=\"" +
             Number(std::max(0.5, x(s.median) - kLeft)) + "\" height=\"" + Number(kBarHeight) + "\" fill=\"" +
             Colour(i) + "\"><title>#" + std::to_string(comparison.runs[i]->id) + " " + Number(s.median) + " " +
             IntervalText(s) + "</title></rect>";
      svg += "<path class=\"interval\" d=\"M" + Number(x(s.low)) + " " + Number(middle) + "H" + Number(x(s.high)) +
             "M" + Number(x(s.low)) + " " + Number(y + 2) + "V" + Number(y + kBarHeight - 2) + "M" + Number(x(s.high)) +
             " " + Number(y + 2) + "V" + Number(y + kBarHeight - 2) + "\"/>";
      svg += "<text class=\"value\" x=\"" + Number(std::max(x(s.median), x(s.high)) + 4) + "\" y=\"" + Number(y + 11) +
             "\">" + Number(s.median) + "</text>\n";
    }
    y += kGroupGap;
  }
  return svg + "</svg>\n";
}

std::string Legend(const Comparison& comparison) {
  std::string html = "<ul class=\"legend\">\n";
  for (std::size_t i = 0; i < comparison.runs.size(); ++i) {
    const RunRecord& run = *comparison.runs[i];
    html += "<li><span class=\"swatch\" style=\"background:" + std::string(Colour(i)) + "\"></span>#" +
            std::to_string(run.id) + " " + EscapeHtml(StartedText(run.startedUtc)) + " — " +
            EscapeHtml(run.adapter.description) + ", " + EscapeHtml(ModeText(run.settings)) + ", " +
            std::to_string(run.settings.runs) + " pass" + (run.settings.runs == 1 ? "" : "es") +
            (i == 0 && comparison.runs.size() > 1 ? " (base)" : "") + "</li>\n";
  }
  return html + "</ul>\n";
}

std::string Table(const Comparison& comparison) {
  std::string html = "<div class=\"scroll\"><table>\n<thead><tr><th>Test</th>";
  for (std::size_t i = 0; i < comparison.runs.size(); ++i) {
    const std::string id = "#" + std::to_string(comparison.runs[i]->id);
    html += "<th>" + id + " median</th><th>95% interval</th>";
    if (i > 0) html += "<th>ratio</th><th>verdict</th>";
  }
  html += "</tr></thead>\n<tbody>\n";
  for (const ComparisonRow& row : comparison.rows) {
    html += "<tr><th scope=\"row\">" + EscapeHtml(row.test) + "</th>";
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const ComparisonCell& cell = row.cells[i];
      if (cell.measured) {
        html += "<td class=\"num\">" + Number(cell.summary.median) + "</td><td class=\"num\">" +
                EscapeHtml(IntervalText(cell.summary)) + "</td>";
      } else {
        html += std::string("<td>") + TestStatusName(cell.status) + "</td><td>-</td>";
      }
      if (i == 0) continue;
      if (cell.ratio > 0) {
        const std::string verdict = VerdictName(cell.verdict);
        const std::string kind = cell.verdict == Verdict::kFaster   ? "faster"
                                 : cell.verdict == Verdict::kSlower ? "slower"
                                                                    : "same";
        html +=
            "<td class=\"num\">" + FormatNumber(cell.ratio, 3) + "</td><td class=\"" + kind + "\">" + verdict + "</td>";
      } else {
        html += "<td>-</td><td>-</td>";
      }
    }
    html += "</tr>\n";
  }
  html +=
      "</tbody></table></div>\n<p class=\"note\">Rates in M pixels/s. A run is faster or slower than the base "
      "run when the 95&#8239;% intervals of their medians do not overlap.";
  if (comparison.anyShortInterval) html += " " + EscapeHtml(kShortIntervalNote);
  return html + "</p>\n";
}

std::string Record(const RunRecord& run) {
  std::string html = "<section class=\"record\"><h3>Run #" + std::to_string(run.id) + "</h3>\n<dl>\n";
  for (const auto& [key, value] : RecordFacts(run)) {
    html += "<dt>" + EscapeHtml(key) + "</dt><dd>" + EscapeHtml(value) + "</dd>\n";
  }
  html += "</dl>\n";
  bool anyFailed = false;
  for (const TestRecord& test : run.tests) anyFailed = anyFailed || test.status != TestStatus::kMeasured;
  if (anyFailed) {
    html += "<ul class=\"status\">\n";
    for (const TestRecord& test : run.tests) {
      if (test.status == TestStatus::kMeasured) continue;
      html += "<li>" + EscapeHtml(test.name) + ": " + TestStatusName(test.status);
      if (test.status == TestStatus::kFailed) html += " — " + EscapeHtml(test.failureReason);
      html += "</li>\n";
    }
    html += "</ul>\n";
  }
  return html + "</section>\n";
}

std::string Passes(const RunRecord& run) {
  std::size_t passes = 0;
  for (const TestRecord& test : run.tests) passes = std::max(passes, test.passRates.size());
  std::string html = "<h2>Every pass</h2>\n<div class=\"scroll\"><table>\n<thead><tr><th>Test</th>";
  for (std::size_t p = 0; p < passes; ++p) html += "<th>pass " + std::to_string(p + 1) + "</th>";
  html += "<th>frames</th></tr></thead>\n<tbody>\n";
  for (const TestRecord& test : run.tests) {
    html += "<tr><th scope=\"row\">" + EscapeHtml(test.name) + "</th>";
    std::size_t frames = 0;
    for (std::size_t p = 0; p < passes; ++p) {
      html += p < test.passRates.size() ? "<td class=\"num\">" + Number(test.passRates[p]) + "</td>" : "<td>-</td>";
    }
    for (const auto& list : test.frameRates) frames += list.size();
    html += "<td class=\"num\">" + std::to_string(frames) + "</td></tr>\n";
  }
  return html + "</tbody></table></div>\n";
}

constexpr const char* kStyle = R"(
:root { color-scheme: light; }
body { font-family: system-ui, -apple-system, "Segoe UI", sans-serif; margin: 0 auto; padding: 12px;
       max-width: 980px; color: #1a1a1a; line-height: 1.4; }
h1 { font-size: 1.4em; margin: 0.2em 0; }
h2 { font-size: 1.15em; margin-top: 1.4em; border-bottom: 1px solid #ccc; }
h3 { font-size: 1em; margin: 0.8em 0 0.3em; }
.chart { width: 100%; max-width: 680px; height: auto; display: block; }
.chart text { font-size: 12px; fill: #1a1a1a; }
.chart .tick { font-size: 10px; fill: #666; text-anchor: middle; }
.chart .grid { stroke: #ddd; stroke-width: 1; }
.chart .interval { stroke: #1a1a1a; stroke-width: 1.5; fill: none; }
.chart .label { font-weight: 600; }
.chart .none { fill: #888; font-style: italic; }
.legend { list-style: none; padding: 0; margin: 0.5em 0; font-size: 0.9em; }
.legend li { margin: 0.2em 0; }
.swatch { display: inline-block; width: 0.9em; height: 0.9em; margin-right: 0.4em; vertical-align: -0.1em; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { padding: 3px 8px; border-bottom: 1px solid #e4e4e4; text-align: left; white-space: nowrap; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
.faster { color: #006d2c; font-weight: 600; }
.slower { color: #b30000; font-weight: 600; }
.note { font-size: 0.85em; color: #444; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 2px 12px; font-size: 0.9em; margin: 0; }
dt { font-weight: 600; }
dd { margin: 0; overflow-wrap: anywhere; }
@media (max-width: 600px) { body { padding: 6px; } dl { grid-template-columns: 1fr; } dd { margin-bottom: 4px; } }
@media print { body { max-width: none; padding: 0; } .scroll { overflow: visible; } .chart, table, .record {
  break-inside: avoid; } h2 { break-after: avoid; } }
)";

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HtmlReport(const std::vector<RunRecord>& runs) {
  const Comparison comparison = Compare(runs);
  std::string title = "Rastrometer: ";
  if (runs.size() == 1) {
    title += "run #" + std::to_string(runs[0].id);
  } else {
    title += std::to_string(runs.size()) + " runs compared";
  }
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      EscapeHtml(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<h1>" + EscapeHtml(title) +
      "</h1>\n";
  html += Legend(comparison);
  html += "<h2>Median rate per test (M pixels/s), with its interval</h2>\n" + Chart(comparison);
  html += std::string("<h2>") + (runs.size() > 1 ? "Comparison" : "Results") + "</h2>\n" + Table(comparison);
  if (runs.size() == 1) html += Passes(runs[0]);
  html += "<h2>" + std::string(runs.size() > 1 ? "The runs" : "The run") + "</h2>\n";
  for (const RunRecord& run : runs) html += Record(run);
  return html + "</body>\n</html>\n";
}

}  // namespace rastro
