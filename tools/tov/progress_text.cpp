// Formatting of the progress bar's text and the redraw throttle.
#include "progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tov::cli {

namespace {

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
constexpr uint64_t kLongestTimeLeft = 100 * 3600 - 1;
constexpr int kBarMinimum = 10;
constexpr int kBarMaximum = 40;

std::string printed(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string formatBytes(uint64_t bytes) {
    const double value = static_cast<double>(bytes);
    if (bytes < 1024) return std::to_string(bytes) + " B";
    if (value < kMiB) return printed("%.1f KiB", value / kKiB);
    if (value < kGiB) return printed("%.2f MiB", value / kMiB);
    return printed("%.2f GiB", value / kGiB);
}

std::string formatRate(uint64_t bytes, double seconds) {
    if (bytes == 0 || !(seconds > 0.0)) return "-- KiB/s";
    return printed("%.1f KiB/s", static_cast<double>(bytes) / seconds / kKiB);
}

std::string formatTimeLeft(uint64_t done, uint64_t total, double seconds) {
    if (done >= total) return "0:00";
    if (done == 0 || !(seconds > 0.0)) return "--:--";
    const double left = static_cast<double>(total - done) * seconds / static_cast<double>(done);
    const uint64_t whole =
        std::min<uint64_t>(static_cast<uint64_t>(std::ceil(left)), kLongestTimeLeft);
    const unsigned hours = static_cast<unsigned>(whole / 3600);
    const unsigned minutes = static_cast<unsigned>(whole / 60 % 60);
    const unsigned secs = static_cast<unsigned>(whole % 60);
    char text[40];  // room for any unsigned hours, so the formatter never truncates
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", hours, minutes, secs);
    } else {
        std::snprintf(text, sizeof text, "%u:%02u", minutes, secs);
    }
    return text;
}

std::string formatProgressLine(const std::string& label, uint64_t done, uint64_t total,
                               double seconds, int width) {
    // An empty total (an empty file) is complete from the start.
    const uint64_t shown = std::min(done, total);
    const double fraction = total == 0 ? 1.0 : static_cast<double>(shown) / total;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3u%%", static_cast<unsigned>(fraction * 100.0));

    // Fields of fixed width keep the bar from changing its length while it runs.
    const std::string totalText = formatBytes(total);
    char figures[96];
    std::snprintf(figures, sizeof figures, "%s  %*s / %s  %12s  %8s left", percent,
                  static_cast<int>(totalText.size()), formatBytes(shown).c_str(), totalText.c_str(),
                  formatRate(shown, seconds).c_str(),
                  formatTimeLeft(shown, total, seconds).c_str());
    // Two blanks and the brackets around the bar, one blank after it.
    const int room = width - static_cast<int>(label.size() + std::strlen(figures)) - 4;
    if (room < kBarMinimum) return label + " " + figures;
    const int cells = std::min(room, kBarMaximum);
    const int filled = static_cast<int>(fraction * cells);
    return label + " [" + std::string(filled, '#') + std::string(cells - filled, '.') + "] " +
           figures;
}

ProgressMeter::ProgressMeter(std::string label, Clock::time_point start)
    : label_(std::move(label)), start_(start) {}

std::optional<std::string> ProgressMeter::update(uint64_t done, uint64_t total,
                                                 Clock::time_point now, int width) {
    const bool reachesTotal = done >= total;
    if (complete_) return std::nullopt;
    if (!reachesTotal && lastDraw_ && now - *lastDraw_ < kInterval) return std::nullopt;
    lastDraw_ = now;
    complete_ = reachesTotal;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    return formatProgressLine(label_, done, total, seconds, width);
}

}  // namespace tov::cli
