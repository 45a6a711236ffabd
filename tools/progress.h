// Progress of a batch run on stderr.  On a terminal one line is redrawn in
// place (a bar, files done of total, pages per second, time left); into a
// file or pipe every finished file gets a plain line of its own.  Failures
// are always shown, and the closing summary lists them in input order, so
// the summary is the same whatever order the workers finished in.
#ifndef KTVEC_TOOLS_PROGRESS_H
#define KTVEC_TOOLS_PROGRESS_H

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ktvcli {

class Progress {
public:
    // `live`: redraw one line in place (stderr is a terminal).  `quiet`: no
    // line per successful file; failures and the summary still appear.
    Progress(std::FILE *out, std::size_t total_files, bool live, bool quiet);

    // Called by any worker when file number `index` (input order) is done:
    // `pages` pages written, `failure` empty on success, else the reason.
    void finished(std::size_t index, const std::string &input, int pages, const std::string &failure);

    // Prints the summary, with `not_started` files left out by an
    // interruption; the number of failed files.
    std::size_t summary(std::size_t not_started = 0);

    // "0:42" or "1:02:03"; "?" when not known (nothing finished yet).
    static std::string duration_text(double seconds);

private:
    using Clock = std::chrono::steady_clock;
    double elapsed() const;
    void draw_bar();

    std::mutex mutex_;
    std::FILE *out_;
    std::size_t total_;
    bool live_, quiet_;
    Clock::time_point start_;
    std::size_t done_ = 0;
    long pages_ = 0;
    std::vector<std::pair<std::size_t, std::string>> failures_;  // (index, reason)
};

}  // namespace ktvcli

#endif
