#include "batch.h"

#include <glob.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "cli.h"
#include "error.h"
#include "heap.h"
#include "manifest.h"
#include "outputs.h"
#include "pages.h"
#include "postprocess.h"
#include "progress.h"

namespace ktvcli {

namespace {

// An interrupt (Ctrl-C) or a termination request stops the queue: the
// workers finish the images they hold, so that every output is complete or
// absent, and take no new ones.  The handler is reset by the first signal,
// so a second one ends the program at once.
std::atomic<int> stop_signal{0};

extern "C" void on_stop_signal(int signal) { stop_signal.store(signal); }

class StopOnSignals {
public:
    StopOnSignals() {
        stop_signal.store(0);
        struct sigaction sa {};
        sa.sa_handler = on_stop_signal;
        sa.sa_flags = SA_RESETHAND | SA_RESTART;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &old_int_);
        ::sigaction(SIGTERM, &sa, &old_term_);
    }
    ~StopOnSignals() {
        ::sigaction(SIGINT, &old_int_, nullptr);
        ::sigaction(SIGTERM, &old_term_, nullptr);
    }
    StopOnSignals(const StopOnSignals &) = delete;
    StopOnSignals &operator=(const StopOnSignals &) = delete;

private:
    struct sigaction old_int_ {}, old_term_ {};
};

// The batch's own options.  -o, --format and --quiet mean a folder, a list
// of formats and fewer progress lines here; standing first, these hide the
// single command's options of the same names, in the parser and in --help.
const OptionDef kBatchOptions[] = {
    {"--command", nullptr, "NAME", &Settings::command, 0, 0,
     "the command run on every file: centerline, outline or outline-fast; the options below "
     "are those of that command ('ktvec batch --command outline --help')",
     nullptr, nullptr},
    {"--jobs", "-j", "N", &Settings::jobs, 1, 1024, "worker threads", "the number of processor cores",
     nullptr},
    {"--output", "-o", "OUTDIR", &Settings::outputs, 0, 0, "output folder, made when missing", nullptr, nullptr},
    {"--format", nullptr, "svg|json|dxf[,...]", &Settings::format, 0, 0,
     "output format(s), e.g. svg,json writes both", "svg", nullptr},
    {"--quiet", "-q", nullptr, &Settings::quiet, 0, 0,
     "no progress line per finished file; failures and the summary remain", nullptr, nullptr},
    {"--manifest", nullptr, "FILE", &Settings::manifest, 0, 0,
     "append one JSON line per page to FILE as pages finish: input, page, the input's size "
     "and modification time, outputs, counts, seconds, error (null when done)",
     "none", nullptr},
    {"--skip-done", nullptr, nullptr, &Settings::skip_done, 0, 0,
     "with --manifest: pass over every input that FILE shows done and whose size and "
     "modification time are unchanged, so that a rerun does only what is left",
     nullptr, nullptr},
};

OptionTable batch_options() { return {"Batch", std::begin(kBatchOptions), std::end(kBatchOptions)}; }

std::vector<OptionTable> batch_tables(const Command &c) {
    return {batch_options(), c.options, postprocess_options(), input_options(), output_options()};
}

std::string batch_help(const Command &c) {
    return "usage: ktvec batch PATTERN... -o OUTDIR [--command NAME] [--jobs N] [--manifest FILE [--skip-done]]\n"
           "                   [options]\n\n"
           "Vectorizes every file the patterns name, one image per worker thread, into\n"
           "OUTDIR/<name>.<format> (the input's file name without its extension; pages of\n"
           "a multi-page TIFF as <name>-p1, <name>-p2, ...; a name already used by an\n"
           "earlier input gets -2, -3, ...).  Patterns are expanded here (* ? [..] {a,b}),\n"
           "so they may be quoted.  Each output appears complete or not at all.\n" +
           describe_options(batch_tables(c), command_defaults(c)) +
           "\nProgress goes to stderr: a bar on a terminal, else one line per file; a\n"
           "summary at the end lists every failure with its reason.\n"
           "Ctrl-C (or SIGTERM) lets the images in hand finish and starts no new one; a\n"
           "second one stops at once.\n"
           "Exit status: 0 every file done, 1 a file failed, 2 bad command line, 128 + the\n"
           "signal number when interrupted before every file was started.\n";
}

// The command whose options the arguments are read with.  --command may
// stand anywhere among them, so they are read once against the options of
// every command to learn it (an option takes a value or not alike in all of
// them), then again, for real, against the chosen command's.
const Command &chosen_command(int argc, char **argv) {
    std::vector<OptionTable> every = {batch_options()};
    for (const Command &c : commands()) every.push_back(c.options);
    for (const OptionTable &t : {postprocess_options(), input_options(), output_options()}) every.push_back(t);
    Settings probe;
    std::vector<std::string> patterns;
    parse_options(argc, argv, every, probe, &patterns);
    const Command *c = find_command(probe.command.c_str());
    if (!c) throw CliError("--command: '" + probe.command + "' is not a vectorizing command", true);
    return *c;
}

bool has_wildcards(const std::string &pattern) { return pattern.find_first_of("*?[{~") != std::string::npos; }

bool is_directory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The same file named twice (two patterns, "./a" and "a") is one input.
std::string identity(const std::string &path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

void make_directories(const std::string &dir) {
    for (std::size_t pos = 1;; ++pos) {
        pos = dir.find('/', pos);
        const std::string prefix = dir.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            throw CliError(prefix + ": cannot make the folder (" + std::strerror(errno) + ")");
        if (pos == std::string::npos) break;
    }
    if (!is_directory(dir)) throw CliError(dir + ": not a folder");
}

// "svg,json" -> {".svg", ".json"}, each once, in the order given.
std::vector<std::string> output_extensions(const std::string &formats) {
    std::vector<std::string> exts;
    std::size_t pos = 0;
    do {
        const std::size_t comma = formats.find(',', pos);
        const std::string name = formats.substr(pos, comma == std::string::npos ? comma : comma - pos);
        OutputFormat f{};
        if (!format_from_name(name, f))
            throw CliError("--format: '" + name + "' is not svg, json or dxf", true);
        const std::string ext = format_extension(f);
        if (std::find(exts.begin(), exts.end(), ext) == exts.end()) exts.push_back(ext);
        pos = comma == std::string::npos ? comma : comma + 1;
    } while (pos != std::string::npos);
    return exts;
}

std::string file_name(const std::string &path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The order in which the workers take the files: largest first, so that a
// big file does not start last and keep one worker busy while the others
// idle; equal sizes in input order.  Output names do not depend on it.
std::vector<std::size_t> largest_first(const std::vector<std::string> &paths) {
    std::vector<std::pair<long long, std::size_t>> sized;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        struct stat st {};
        sized.emplace_back(::stat(paths[k].c_str(), &st) == 0 ? -static_cast<long long>(st.st_size) : 0, k);
    }
    std::sort(sized.begin(), sized.end());
    std::vector<std::size_t> order;
    for (const auto &e : sized) order.push_back(e.second);
    return order;
}

// Every page of one input, each page's record appended to `records`; the
// reasons of the pages that failed, or empty.
std::string vectorize_file(const Command &c, Settings s, int &pages_done, std::vector<PageRecord> &records) {
    std::string failure;
    auto note = [&](const std::string &message, int page, int pages) {
        if (!failure.empty()) failure += "; ";
        failure += message;
        if (pages > 1) failure += " (page " + std::to_string(page) + ")";
        records.back().error = message;
        records.back().outputs.clear();
    };
    s.quiet = true;  // progress reports for the whole batch
    const Stamp stamp = stamp_of(s.input);  // before reading: a later change shows on the next run
    int pages = 1;
    try {
        pages = s.page == 0 ? input_page_count(s.input) : 1;
    } catch (const std::bad_alloc &) {
        // the reading below reports it
    }
    for (int page = 1; page <= pages; ++page) {
        const auto start = std::chrono::steady_clock::now();
        const Settings one = pages > 1 ? page_settings(s, page) : s;
        records.emplace_back();
        PageRecord &r = records.back();
        r.input = s.input, r.page = page, r.pages = pages, r.stamp = stamp, r.outputs = one.outputs;
        PageCounts counts;
        try {
            run_one(c, one, &counts);
            ++pages_done;
            r.nodes = counts.nodes;
            r.polylines = counts.polylines;
        } catch (const CliError &e) {
            note(e.what(), page, pages);
        } catch (const std::bad_alloc &) {
            note(s.input + ": out of memory", page, pages);
        } catch (const std::exception &e) {
            note(s.input + ": " + e.what(), page, pages);
        }
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return failure;
}

}  // namespace

std::vector<Input> expand_patterns(const std::vector<std::string> &patterns) {
    std::vector<Input> inputs;
    std::set<std::string> seen;
    auto add = [&](const std::string &path) {
        if (seen.insert(identity(path)).second) inputs.push_back({path, {}});
    };
    for (const std::string &pattern : patterns) {
        if (!has_wildcards(pattern)) {
            add(pattern);
            continue;
        }
        glob_t g{};
        const int rc = ::glob(pattern.c_str(), GLOB_BRACE | GLOB_TILDE, nullptr, &g);
        std::size_t matched = 0;
        if (rc == 0)
            for (std::size_t i = 0; i < g.gl_pathc; ++i)
                if (!is_directory(g.gl_pathv[i])) add(g.gl_pathv[i]), ++matched;
        ::globfree(&g);
        if (rc == GLOB_NOSPACE) throw std::bad_alloc();
        if (matched == 0) inputs.push_back({pattern, pattern + ": no file matches"});
    }
    return inputs;
}

std::vector<std::string> output_stems(const std::vector<std::string> &inputs) {
    std::vector<std::string> stems;
    std::set<std::string> taken;
    for (const std::string &path : inputs) {
        const std::string name = file_name(path);
        const std::size_t dot = name.find_last_of('.');
        // A leading dot is part of the name, as for the page suffix.
        const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
        std::string unique = stem;
        for (int k = 2; !taken.insert(unique).second; ++k) unique = stem + "-" + std::to_string(k);
        stems.push_back(unique);
    }
    return stems;
}

int run_batch(int argc, char **argv) {
    keep_blocks_in_heap();
    const Command &c = chosen_command(argc, argv);
    Settings base = command_defaults(c);
    std::vector<std::string> patterns;
    parse_options(argc, argv, batch_tables(c), base, &patterns);
    if (base.help) {
        std::fputs(batch_help(c).c_str(), stdout);
        return 0;
    }
    if (std::find(patterns.begin(), patterns.end(), "-") != patterns.end())
        throw CliError("batch reads files, not standard input", true);
    if (patterns.empty()) throw CliError("batch: no input files", true);
    if (base.outputs.size() != 1) throw CliError("batch: give one output folder (-o OUTDIR)", true);
    std::string outdir = base.outputs.front();
    if (outdir == "-") throw CliError("batch: the output is a folder, not standard output", true);
    while (outdir.size() > 1 && outdir.back() == '/') outdir.pop_back();
    const std::vector<std::string> exts = output_extensions(base.format.empty() ? "svg" : base.format);
    base.format.clear();

    // The command line is checked once, before any work: the same check
    // the single command makes on its outputs.
    Settings probe = base;
    probe.outputs.clear();
    for (const std::string &e : exts) probe.outputs.push_back(outdir + "/x" + e);
    resolve_outputs(probe);

    if (base.skip_done && base.manifest.empty()) throw CliError("--skip-done needs --manifest FILE", true);

    const std::vector<Input> inputs = expand_patterns(patterns);
    std::vector<std::size_t> todo;  // indices of the inputs to vectorize
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].problem.empty()) todo.push_back(i), paths.push_back(inputs[i].path);
    // Names come from every input, done before or not, so that a rerun
    // names each output as the first run did.
    const std::vector<std::string> stems = output_stems(paths);
    std::vector<bool> passed_over(paths.size(), false);
    std::size_t skipped = 0;
    if (base.skip_done) {
        const std::unordered_map<std::string, std::uint64_t> done = done_inputs(base.manifest);
        for (std::size_t k = 0; k < paths.size(); ++k) {
            const auto it = done.find(paths[k]);
            if (it != done.end() && stamp_of(paths[k]).key() == it->second) passed_over[k] = true, ++skipped;
        }
    }
    std::vector<std::size_t> order;  // of the inputs to vectorize, largest first
    for (const std::size_t k : largest_first(paths))
        if (!passed_over[k]) order.push_back(k);
    if (!order.empty()) make_directories(outdir);
    std::unique_ptr<ManifestWriter> manifest;
    if (!base.manifest.empty()) {
        const std::size_t slash = base.manifest.find_last_of('/');
        if (slash != std::string::npos && slash > 0) make_directories(base.manifest.substr(0, slash));
        manifest = std::make_unique<ManifestWriter>(base.manifest);
    }

    if (skipped)
        std::fprintf(stderr, "ktvec batch: %zu file%s done before (%s), passed over\n", skipped,
                     skipped == 1 ? "" : "s", base.manifest.c_str());
    Progress progress(stderr, inputs.size() - skipped, ::isatty(STDERR_FILENO) == 1, base.quiet);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].problem.empty()) continue;
        progress.finished(i, inputs[i].path, 0, inputs[i].problem);
        if (!manifest) continue;
        PageRecord r;
        r.input = inputs[i].path;
        r.error = inputs[i].problem;
        manifest->write(r);
    }

    // The work queue: each worker takes the next file not yet taken.
    const StopOnSignals stop_on_signals;
    std::atomic<std::size_t> next{0};
    unsigned jobs = base.jobs > 0 ? static_cast<unsigned>(base.jobs) : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(order.size(), 1)));
    // The workers already keep the cores busy: each page's filter and
    // sub-pixel stage get their share of them rather than all of them.
    const int page_threads =
        jobs > 1 ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency() / jobs)) : 0;
    auto worker = [&] {
        for (std::size_t q; stop_signal.load() == 0 && (q = next.fetch_add(1)) < order.size();) {
            const std::size_t k = order[q];
            const Input &in = inputs[todo[k]];
            Settings s = base;
            s.input = in.path;
            s.page_threads = page_threads;
            s.outputs.clear();
            for (const std::string &e : exts) s.outputs.push_back(outdir + "/" + stems[k] + e);
            int pages = 0;
            std::string failure;
            std::vector<PageRecord> records;
            try {
                failure = vectorize_file(c, std::move(s), pages, records);
                if (manifest)
                    for (const PageRecord &r : records) manifest->write(r);
            } catch (const CliError &e) {
                failure += (failure.empty() ? "" : "; ") + std::string(e.what());
            } catch (const std::exception &) {
                failure = in.path + ": out of memory";
            }
            progress.finished(todo[k], in.path, pages, failure);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs; ++t) {
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error &) {
            break;  // no more threads to be had: the ones running share the queue
        }
    }
    worker();  // the calling thread is a worker too
    for (std::thread &t : threads) t.join();
    const std::size_t not_started = order.size() - std::min(next.load(), order.size());
    const std::size_t failed = progress.summary(not_started);
    if (not_started) return 128 + stop_signal.load();  // the status the signal itself would give
    return failed == 0 ? 0 : 1;
}

}  // namespace ktvcli
