// How closely ways of waiting keep to the time asked for, and what they cost
// in processor time: emuSDL_Delay (from delay_test's own source) beside
// SDL_Delay, sleep_for, clock_nanosleep to an absolute deadline, a spin on
// clock_gettime and a sleep followed by a spin, each wait timed against
// CLOCK_MONOTONIC. All methods share one shuffled schedule, so that they
// share the machine's noise too.
#include "emu_delay.h"

#include <SDL.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The same source compiled again with every SDL_GetTicks call counted.
void counted_emuSDL_Delay(unsigned int ms);

static unsigned long long counted_calls = 0;

extern "C" __attribute__((noinline)) Uint32 counted_SDL_GetTicks(void)
{
    ++counted_calls;
    return SDL_GetTicks();
}

namespace
{
long long now_ns(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void sleep_until(long long deadline_ns)
{
    timespec deadline;
    deadline.tv_sec = deadline_ns / 1000000000LL;
    deadline.tv_nsec = deadline_ns % 1000000000LL;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
    }
}

void spin_until(long long deadline_ns)
{
    while (now_ns() < deadline_ns) {
    }
}

// How long before the deadline the sleep then spin method stops sleeping:
// long enough for nearly every sleep to wake before it, short enough to spin
// little. bench/sleep_margin.py gives both for any margin, from the raw rows
// of every stack.
constexpr long long spin_margin_ns = 1500000;

// A way of waiting: it is given the wait and the moment the wait began.
// delay_test's own also has the error the program would print reported.
struct Method {
    const char *name;
    void (*wait)(unsigned ms, long long start_ns);
    bool is_delay_test;
};

const Method methods[] = {
    {"emuSDL_Delay", [](unsigned ms, long long) { emuSDL_Delay(ms); }, true},
    {"SDL_Delay", [](unsigned ms, long long) { SDL_Delay(ms); }, false},
    {"std::this_thread::sleep_for",
     [](unsigned ms, long long) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
     false},
    {"clock_nanosleep",
     [](unsigned ms, long long start_ns) { sleep_until(start_ns + ms * 1000000LL); }, false},
    {"clock_gettime(CLOCK_MONOTONIC) spin",
     [](unsigned ms, long long start_ns) { spin_until(start_ns + ms * 1000000LL); }, false},
    {"sleep then spin",
     [](unsigned ms, long long start_ns) {
         const long long deadline = start_ns + ms * 1000000LL;
         if (ms * 1000000LL > spin_margin_ns)
             sleep_until(deadline - spin_margin_ns);
         spin_until(deadline);
     },
     false},
};
const int method_count = sizeof methods / sizeof methods[0];

// One shuffled order for every run, so that runs compare.
constexpr unsigned seed = 1;

struct Options {
    long reps = 300;
    std::vector<unsigned> waits = {0, 1, 2, 5, 10, 20, 50, 100};
    const char *csv_path = nullptr;
};

struct Sample {
    int method, wait_index;
    double late_us;    // real elapsed minus requested
    int printed_error; // what delay_test would print, for its own wait
    bool kept_cpu;     // no involuntary context switch during the wait
    double cpu_share;  // the thread's processor time over the wall time
};

// Says why the command line is refused, and how it goes.
bool refuse(const char *why)
{
    std::fprintf(stderr,
                 "delay_accuracy: %s\nusage: delay_accuracy [--reps N] [--waits MS,MS,...] "
                 "[--csv FILE]\n",
                 why);
    return false;
}

bool parse_count(const char *text, long max, long &out)
{
    char *end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && out >= 0 && out <= max;
}

// Fills options from the command line; on a bad one, says why and gives false.
bool parse_arguments(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--reps" && has_value) {
            if (!parse_count(argv[++i], 1000000, options.reps) || options.reps == 0)
                return refuse("--reps takes a whole number from 1 to 1000000");
        } else if (arg == "--waits" && has_value) {
            options.waits.clear();
            std::stringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');) {
                long ms;
                if (!parse_count(item.c_str(), 10000, ms))
                    return refuse("--waits takes milliseconds from 0 to 10000, "
                                  "separated by commas");
                options.waits.push_back(static_cast<unsigned>(ms));
            }
            if (options.waits.empty())
                return refuse("--waits needs at least one wait");
        } else if (arg == "--csv" && has_value) {
            options.csv_path = argv[++i];
        } else {
            return refuse(("unknown or incomplete option: " + arg).c_str());
        }
    }
    return true;
}

// Cost of one SDL_GetTicks call, and of one turn of emuSDL_Delay's loop
// (both with the call counted, so that they compare like with like).
void report_call_costs()
{
    const int calls = 5000000;
    [[maybe_unused]] volatile Uint32 sink = 0;
    long long start = now_ns();
    for (int i = 0; i < calls; ++i)
        sink += SDL_GetTicks();
    const double plain_ns = double(now_ns() - start) / calls;

    start = now_ns();
    for (int i = 0; i < calls; ++i)
        sink += counted_SDL_GetTicks();
    const double counted_ns = double(now_ns() - start) / calls;

    counted_calls = 0;
    start = now_ns();
    counted_emuSDL_Delay(200);
    const double turn_ns = double(now_ns() - start) / double(counted_calls - 1);

    std::printf("SDL_GetTicks: %.1f ns a call (%.1f ns counted); one turn of emuSDL_Delay's "
                "loop: %.1f ns counted, %+.1f %% against a counted call\n",
                plain_ns, counted_ns, turn_ns, 100 * (turn_ns / counted_ns - 1));
}

long involuntary_switches()
{
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nivcsw;
}

// A spin on the tick can only be as even as the tick's own steps: the real
// time between its changes, over two seconds. A step is left out when the
// bench lost the processor at its start or end (a context switch, or a tick
// that moved by more than one), since then it was timed late.
void report_tick_steps()
{
    Uint32 last = SDL_GetTicks();
    while (SDL_GetTicks() == last) {
    }
    last = SDL_GetTicks();
    long switches = involuntary_switches();
    long long since = now_ns();
    const long long end = since + 2000000000LL;
    int changes = 0, short_steps = 0, long_steps = 0, left_out = 0;
    double shortest = 1e9, longest = 0;
    bool late_start = false;
    for (long long at = since; at < end; at = now_ns()) {
        const Uint32 tick = SDL_GetTicks();
        if (tick == last)
            continue;
        const long switches_now = involuntary_switches();
        const bool late_end = switches_now != switches || tick - last != 1;
        const double us = (at - since) / 1000.0;
        ++changes;
        if (late_start || late_end) {
            ++left_out;
        } else {
            short_steps += us < 500;
            long_steps += us > 1500;
            shortest = std::min(shortest, us);
            longest = std::max(longest, us);
        }
        late_start = late_end;
        switches = switches_now;
        last = tick;
        since = at;
    }
    if (longest == 0) // every step left out
        shortest = 0;
    std::printf("SDL_GetTicks steps over 2 s: %d changes, %.1f to %.1f us apart; %d under "
                "500 us, %d over 1500 us; %d left out, timed across a lost processor\n",
                changes, shortest, longest, short_steps, long_steps, left_out);
}

// One line on stderr, rewritten in place, when a person is watching it.
class Progress
{
  public:
    explicit Progress(double total) : total_(total), shown_(isatty(STDERR_FILENO) == 1)
    {
        show();
    }

    void advance(double done)
    {
        done_ += done;
        if (now_ns() - shown_at_ >= 500000000LL)
            show();
    }

    // Leaves the line blank for what follows on the terminal.
    void finish()
    {
        show();
        if (shown_)
            std::fprintf(stderr, "\r%40s\r", "");
    }

  private:
    void show()
    {
        shown_at_ = now_ns();
        if (!shown_)
            return;
        const double share = done_ / total_;
        const long long left_s =
            share > 0 ? std::llround((shown_at_ - start_) / 1e9 * (1 / share - 1)) : -1;
        if (left_s < 0)
            std::fprintf(stderr, "\r%3.0f %% done", 100 * share);
        else
            std::fprintf(stderr, "\r%3.0f %% done, %lld min %02lld s left ", 100 * share,
                         left_s / 60, left_s % 60);
    }

    const double total_;
    const bool shown_;
    const long long start_ = now_ns();
    double done_ = 0;
    long long shown_at_ = 0;
};

// Every (method, wait) pair reps times, in one shuffled order, each wait
// started at a random point within a millisecond tick.
std::vector<Sample> run_shuffled(const Options &options)
{
    const std::vector<unsigned> &waits = options.waits;
    std::vector<std::pair<int, int>> schedule;
    double total_ms = 0;
    for (long r = 0; r < options.reps; ++r)
        for (int m = 0; m < method_count; ++m)
            for (std::size_t w = 0; w < waits.size(); ++w) {
                schedule.emplace_back(m, static_cast<int>(w));
                total_ms += waits[w] + 1; // about 1 ms to find the start point
            }
    std::mt19937 rng(seed);
    std::shuffle(schedule.begin(), schedule.end(), rng);
    std::uniform_int_distribution<long long> phase_ns(0, 999999);
    std::printf("schedule: %zu waits x %d methods x %ld repetitions, shuffled (seed %u); each "
                "starts at a random point within a tick\n\n",
                waits.size(), method_count, options.reps, seed);
    std::fflush(stdout);

    Progress progress(total_ms);
    std::vector<Sample> samples;
    samples.reserve(schedule.size());
    for (const auto &[m, w] : schedule) {
        const Uint32 tick = SDL_GetTicks();
        while (SDL_GetTicks() == tick) {
        }
        spin_until(now_ns() + phase_ns(rng));

        // Reading the thread's processor time is a system call of a few
        // microseconds: it stays outside the timed wait, inside a wall
        // time of its own.
        const unsigned ms = waits[w];
        const long switches = involuntary_switches();
        const long long outer_start = now_ns();
        const long long start_cpu = now_ns(CLOCK_THREAD_CPUTIME_ID);
        const Uint32 start_tick = SDL_GetTicks();
        const long long start = now_ns();
        methods[m].wait(ms, start);
        const long long end = now_ns();
        const Uint32 end_tick = SDL_GetTicks();
        const long long end_cpu = now_ns(CLOCK_THREAD_CPUTIME_ID);
        const long long outer_end = now_ns();
        samples.push_back({m, w, (end - start) / 1000.0 - ms * 1000.0,
                           static_cast<int>(ms - (end_tick - start_tick)),
                           involuntary_switches() == switches,
                           double(end_cpu - start_cpu) / double(outer_end - outer_start)});
        progress.advance(ms + 1);
    }
    progress.finish();
    return samples;
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double> &sorted, double p)
{
    const std::size_t rank = static_cast<std::size_t>(std::ceil(p / 100 * sorted.size()));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

void report_lateness(const std::vector<Sample> &samples, const std::vector<unsigned> &waits)
{
    std::printf("real elapsed - requested, in microseconds; kept_cpu: share of waits with no "
                "involuntary context switch;\nin_target: share ending between 1 ms early and "
                "50 us late; cpu: median of the thread's processor time over the wall time\n");
    std::printf("%-35s %7s %6s %10s %10s %10s %10s %11s %11s %6s\n", "method", "wait_ms", "n",
                "min_us", "median_us", "p99_us", "max_us", "kept_cpu_%", "in_target_%", "cpu_%");
    for (int m = 0; m < method_count; ++m)
        for (std::size_t w = 0; w < waits.size(); ++w) {
            std::vector<double> late, cpu;
            int kept = 0, in_target = 0;
            for (const Sample &s : samples)
                if (s.method == m && s.wait_index == static_cast<int>(w)) {
                    late.push_back(s.late_us);
                    cpu.push_back(s.cpu_share);
                    kept += s.kept_cpu;
                    in_target += s.late_us >= -1000 && s.late_us <= 50;
                }
            std::sort(late.begin(), late.end());
            std::sort(cpu.begin(), cpu.end());
            const double n = static_cast<double>(late.size());
            std::printf("%-35s %7u %6zu %10.1f %10.1f %10.1f %10.1f %11.1f %11.1f %6.1f\n",
                        methods[m].name, waits[w], late.size(), late.front(), percentile(late, 50),
                        percentile(late, 99), late.back(), 100 * kept / n, 100 * in_target / n,
                        100 * percentile(cpu, 50));
        }
}

void report_printed_errors(const std::vector<Sample> &samples, const std::vector<unsigned> &waits)
{
    std::printf("\nemuSDL_Delay: the error delay_test would print, wait - (end tick - start "
                "tick), share of waits in %%\n");
    std::printf("%7s %6s %8s %8s %8s %8s\n", "wait_ms", "n", "0_%", "-1_%", "<=-2_%", ">0_%");
    for (std::size_t w = 0; w < waits.size(); ++w) {
        int n = 0, zero = 0, minus_one = 0, below = 0, above = 0;
        for (const Sample &s : samples)
            if (methods[s.method].is_delay_test && s.wait_index == static_cast<int>(w)) {
                ++n;
                zero += s.printed_error == 0;
                minus_one += s.printed_error == -1;
                below += s.printed_error <= -2;
                above += s.printed_error > 0;
            }
        std::printf("%7u %6d %8.1f %8.1f %8.1f %8.1f\n", waits[w], n, 100.0 * zero / n,
                    100.0 * minus_one / n, 100.0 * below / n, 100.0 * above / n);
    }
}

// One row a wait, in the order they ran.
bool write_csv(std::ofstream &csv, const std::vector<Sample> &samples,
               const std::vector<unsigned> &waits)
{
    csv << "method_index,wait_index,method,wait_ms,late_us,printed_error_ms,kept_cpu,cpu_"
           "percent\n";
    for (const Sample &s : samples) {
        csv << s.method << ',' << s.wait_index << ',' << methods[s.method].name << ','
            << waits[s.wait_index] << ',' << s.late_us << ',';
        if (methods[s.method].is_delay_test)
            csv << s.printed_error;
        csv << ',' << s.kept_cpu << ',' << 100 * s.cpu_share << '\n';
    }
    csv.flush();
    return static_cast<bool>(csv);
}

int cannot_write(const char *path)
{
    std::fprintf(stderr, "delay_accuracy: cannot write %s\n", path);
    return 1;
}
} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse_arguments(argc, argv, options))
        return 1;

    // Opened before the run, so that a path that can't be written fails at once.
    std::ofstream csv;
    if (options.csv_path != nullptr) {
        csv.open(options.csv_path);
        if (!csv)
            return cannot_write(options.csv_path);
    }

    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "delay_accuracy: cannot start SDL: %s\n", SDL_GetError());
        return 1;
    }
    atexit(SDL_Quit);

    std::printf("delay_accuracy: how long each way of waiting really waits\n");
    report_call_costs();
    report_tick_steps();
    const std::vector<Sample> samples = run_shuffled(options);
    report_lateness(samples, options.waits);
    report_printed_errors(samples, options.waits);
    if (options.csv_path != nullptr && !write_csv(csv, samples, options.waits))
        return cannot_write(options.csv_path);
    return 0;
}
