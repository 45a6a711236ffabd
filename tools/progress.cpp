#include "progress.h"

#include <algorithm>
#include <cmath>

namespace ktvcli {

namespace {

constexpr int kBarWidth = 24;

}  // namespace

Progress::Progress(std::FILE *out, std::size_t total_files, bool live, bool quiet)
    : out_(out), total_(total_files), live_(live), quiet_(quiet), start_(Clock::now()) {
    if (live_) draw_bar();
}

double Progress::elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

std::string Progress::duration_text(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "?";
    const long s = std::lround(seconds);
    char buf[32];
    if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

// The time left assumes the files still to come cost what the finished ones
// did on average: pages are unknown until a file is opened.
void Progress::draw_bar() {
    const double t = elapsed();
    const int filled = total_ == 0 ? kBarWidth : static_cast<int>(done_ * kBarWidth / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    char rate[32] = "-";
    if (t > 0 && pages_ > 0) std::snprintf(rate, sizeof rate, "%.1f", pages_ / t);
    const std::string left = done_ == 0 ? "?" : duration_text(t / done_ * (total_ - done_));
    // \r and erase-to-end-of-line: the line is redrawn where it stands.
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu files  %s pages/s  %s left", bar.c_str(), done_, total_, rate,
                 left.c_str());
    std::fflush(out_);
}

void Progress::finished(std::size_t index, const std::string &input, int pages, const std::string &failure) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    pages_ += pages;
    if (!failure.empty()) failures_.emplace_back(index, failure);
    if (live_) {
        if (!failure.empty()) std::fprintf(out_, "\r\033[Kktvec batch: failed: %s\n", failure.c_str());
        draw_bar();
        return;
    }
    if (!failure.empty())
        std::fprintf(out_, "ktvec batch: [%zu/%zu] failed: %s\n", done_, total_, failure.c_str());
    else if (!quiet_)
        std::fprintf(out_, "ktvec batch: [%zu/%zu] %s: %d page%s\n", done_, total_, input.c_str(), pages,
                     pages == 1 ? "" : "s");
    std::fflush(out_);
}

std::size_t Progress::summary(std::size_t not_started) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const double t = elapsed();
    if (live_) std::fputs("\r\033[K", out_);
    std::sort(failures_.begin(), failures_.end());
    std::fprintf(out_, "ktvec batch: %zu file%s, %ld page%s in %.2f s (%.2f pages/s), %zu failed\n", done_,
                 done_ == 1 ? "" : "s", pages_, pages_ == 1 ? "" : "s", t, t > 0 ? pages_ / t : 0.0,
                 failures_.size());
    for (const auto &f : failures_) std::fprintf(out_, "  %s\n", f.second.c_str());
    if (not_started)
        std::fprintf(out_, "ktvec batch: interrupted, %zu of %zu file%s not started\n", not_started, total_,
                     total_ == 1 ? "" : "s");
    std::fflush(out_);
    return failures_.size();
}

}  // namespace ktvcli
