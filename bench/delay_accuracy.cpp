// How closely ways of waiting keep to the time asked for: emuSDL_Delay (from
// delay_test's own source) beside SDL_Delay, sleep_for, clock_nanosleep to an
// absolute deadline and a spin on clock_gettime, each wait timed against
// CLOCK_MONOTONIC. All methods share one shuffled schedule, so that they
// share the machine's noise too.
#include <SDL.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

void emuSDL_Delay(unsigned int ms);
// The same source compiled again with every SDL_GetTicks call counted.
void counted_emuSDL_Delay(unsigned int ms);

namespace
{
unsigned long long counted_calls = 0;
} // namespace

extern "C" __attribute__((noinline)) Uint32 counted_SDL_GetTicks(void)
{
    ++counted_calls;
    return SDL_GetTicks();
}

namespace
{
// POSIX's time value, as clock_gettime fills it and clock_nanosleep takes it.
template <class Value> Value time_value_of(int (*)(clockid_t, Value *));
using TimeValue = decltype(time_value_of(&clock_gettime));

long long now_ns()
{
    TimeValue t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

TimeValue to_time_value(long long ns)
{
    TimeValue t;
    t.tv_sec = ns / 1000000000LL;
    t.tv_nsec = ns % 1000000000LL;
    return t;
}

// A way of waiting: it is given the wait and the moment the wait began.
struct Method {
    const char *name;
    void (*wait)(unsigned ms, long long start_ns);
};

const Method methods[] = {
    {"emuSDL_Delay", [](unsigned ms, long long) { emuSDL_Delay(ms); }},
    {"SDL_Delay", [](unsigned ms, long long) { SDL_Delay(ms); }},
    {"std::this_thread::sleep_for",
     [](unsigned ms, long long) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }},
    {"clock_nanosleep",
     [](unsigned ms, long long start_ns) {
         const TimeValue deadline = to_time_value(start_ns + ms * 1000000LL);
         while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
         }
     }},
    {"clock_gettime(CLOCK_MONOTONIC) spin",
     [](unsigned ms, long long start_ns) {
         const long long deadline = start_ns + ms * 1000000LL;
         while (now_ns() < deadline) {
         }
     }},
};
const int method_count = sizeof methods / sizeof methods[0];

struct Sample {
    int method, wait_index;
    double late_us;    // real elapsed minus requested
    int printed_error; // what delay_test would print, emuSDL_Delay only
    bool kept_cpu;     // no involuntary context switch during the wait
};

long involuntary_switches()
{
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nivcsw;
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double> &sorted, double p)
{
    const std::size_t rank = static_cast<std::size_t>(std::ceil(p / 100 * sorted.size()));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

std::string first_line_of(const char *path, const char *prefix)
{
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown";
}

// Cost of one SDL_GetTicks call, and of one turn of emuSDL_Delay's loop
// (both with the call counted, so that they compare like with like).
void report_call_costs()
{
    const int calls = 5000000;
    volatile Uint32 sink = 0;
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

// A spin on the tick can only be as even as the tick's own steps: the real
// time between its changes, over two seconds.
void report_tick_steps()
{
    Uint32 last = SDL_GetTicks();
    while (SDL_GetTicks() == last) {
    }
    last = SDL_GetTicks();
    long long since = now_ns();
    const long long end = since + 2000000000LL;
    int changes = 0, short_steps = 0, long_steps = 0;
    double shortest = 1e9, longest = 0;
    for (long long at = since; at < end; at = now_ns()) {
        const Uint32 tick = SDL_GetTicks();
        if (tick == last)
            continue;
        const double us = (at - since) / 1000.0;
        ++changes;
        short_steps += us < 500;
        long_steps += us > 1500;
        shortest = std::min(shortest, us);
        longest = std::max(longest, us);
        last = tick;
        since = at;
    }
    std::printf("SDL_GetTicks steps over 2 s: %d changes, %.1f to %.1f us apart; %d under "
                "500 us, %d over 1500 us\n",
                changes, shortest, longest, short_steps, long_steps);
}

void report_machine()
{
    SDL_version const *sdl = SDL_Linked_Version();
    Dl_info where;
    const bool found = dladdr(reinterpret_cast<void *>(&SDL_GetTicks), &where) != 0;
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("machine: %s, %ld cores online, clocksource %s, load %.2f %.2f %.2f\n",
                first_line_of("/proc/cpuinfo", "model name").c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                first_line_of("/sys/devices/system/clocksource/clocksource0/"
                              "current_clocksource",
                              "")
                    .c_str(),
                load[0], load[1], load[2]);
    std::printf("SDL: %d.%d.%d, %s\n", sdl->major, sdl->minor, sdl->patch,
                found && where.dli_fname ? where.dli_fname : "unknown library");
}

int usage(const char *why)
{
    std::fprintf(stderr,
                 "delay_accuracy: %s\nuso: delay_accuracy [--quick] [--reps N] "
                 "[--waits MS,MS,...] [--seed N] [--csv FICHERO]\n",
                 why);
    return 1;
}

bool parse_count(const char *text, long max, long &out)
{
    char *end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && out >= 0 && out <= max;
}
} // namespace

int main(int argc, char **argv)
{
    long reps = 300, seed = 1;
    std::vector<unsigned> waits = {0, 1, 2, 5, 10, 20, 50, 100};
    const char *csv_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--quick") {
            reps = 10;
        } else if (arg == "--reps" && has_value) {
            if (!parse_count(argv[++i], 1000000, reps) || reps == 0)
                return usage("--reps lleva un número entero de 1 a 1000000");
        } else if (arg == "--seed" && has_value) {
            if (!parse_count(argv[++i], 1L << 30, seed))
                return usage("--seed lleva un número entero de 0 a 1073741824");
        } else if (arg == "--waits" && has_value) {
            waits.clear();
            std::stringstream list(argv[++i]);
            for (std::string item; std::getline(list, item, ',');) {
                long ms;
                if (!parse_count(item.c_str(), 10000, ms))
                    return usage("--waits lleva milisegundos de 0 a 10000, separados por comas");
                waits.push_back(static_cast<unsigned>(ms));
            }
            if (waits.empty())
                return usage("--waits necesita al menos una espera");
        } else if (arg == "--csv" && has_value) {
            csv_path = argv[++i];
        } else {
            return usage(("opción desconocida o incompleta: " + arg).c_str());
        }
    }

    // Opened before the run, so that a path that can't be written fails at once.
    std::ofstream csv;
    if (csv_path != nullptr) {
        csv.open(csv_path);
        if (!csv) {
            std::fprintf(stderr, "delay_accuracy: no se pudo escribir %s\n", csv_path);
            return 1;
        }
    }

    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "delay_accuracy: no se pudo iniciar SDL: %s\n", SDL_GetError());
        return 1;
    }
    atexit(SDL_Quit);

    std::printf("delay_accuracy: how long each way of waiting really waits\n");
    report_machine();
    report_call_costs();
    report_tick_steps();

    // Every (method, wait) pair reps times, in one shuffled order.
    std::vector<std::pair<int, int>> schedule;
    for (long r = 0; r < reps; ++r)
        for (int m = 0; m < method_count; ++m)
            for (std::size_t w = 0; w < waits.size(); ++w)
                schedule.emplace_back(m, static_cast<int>(w));
    std::mt19937 rng(static_cast<unsigned>(seed));
    std::shuffle(schedule.begin(), schedule.end(), rng);
    std::uniform_int_distribution<long long> phase_ns(0, 999999);
    std::printf("schedule: %zu waits x %d methods x %ld repetitions, shuffled (seed %ld); each "
                "starts at a random point within a tick\n\n",
                waits.size(), method_count, reps, seed);

    std::vector<Sample> samples;
    samples.reserve(schedule.size());
    for (const auto &[m, w] : schedule) {
        // Start at a random point within a millisecond tick.
        const Uint32 tick = SDL_GetTicks();
        while (SDL_GetTicks() == tick) {
        }
        const long long phase_end = now_ns() + phase_ns(rng);
        while (now_ns() < phase_end) {
        }

        const unsigned ms = waits[w];
        const long switches = involuntary_switches();
        const Uint32 start_tick = SDL_GetTicks();
        const long long start = now_ns();
        methods[m].wait(ms, start);
        const long long end = now_ns();
        const Uint32 end_tick = SDL_GetTicks();
        samples.push_back({m, w, (end - start) / 1000.0 - ms * 1000.0,
                           static_cast<int>(ms - (end_tick - start_tick)),
                           involuntary_switches() == switches});
    }

    std::printf("real elapsed - requested, in microseconds; kept_cpu: share of waits with no "
                "involuntary context switch;\nin_target: share ending between 1 ms early and "
                "50 us late\n");
    std::printf("%-35s %7s %6s %10s %10s %10s %10s %11s %11s\n", "method", "wait_ms", "n", "min_us",
                "median_us", "p99_us", "max_us", "kept_cpu_%", "in_target_%");
    for (int m = 0; m < method_count; ++m)
        for (std::size_t w = 0; w < waits.size(); ++w) {
            std::vector<double> late;
            int kept = 0, in_target = 0;
            for (const Sample &s : samples)
                if (s.method == m && s.wait_index == static_cast<int>(w)) {
                    late.push_back(s.late_us);
                    kept += s.kept_cpu;
                    in_target += s.late_us >= -1000 && s.late_us <= 50;
                }
            std::sort(late.begin(), late.end());
            const double n = static_cast<double>(late.size());
            std::printf("%-35s %7u %6zu %10.1f %10.1f %10.1f %10.1f %11.1f %11.1f\n",
                        methods[m].name, waits[w], late.size(), late.front(), percentile(late, 50),
                        percentile(late, 99), late.back(), 100 * kept / n, 100 * in_target / n);
        }

    std::printf("\nemuSDL_Delay: the error delay_test would print, wait - (end tick - start "
                "tick), share of waits in %%\n");
    std::printf("%7s %6s %8s %8s %8s %8s\n", "wait_ms", "n", "0_%", "-1_%", "<=-2_%", ">0_%");
    for (std::size_t w = 0; w < waits.size(); ++w) {
        int n = 0, zero = 0, minus_one = 0, below = 0, above = 0;
        for (const Sample &s : samples)
            if (s.method == 0 && s.wait_index == static_cast<int>(w)) {
                ++n;
                zero += s.printed_error == 0;
                minus_one += s.printed_error == -1;
                below += s.printed_error <= -2;
                above += s.printed_error > 0;
            }
        std::printf("%7u %6d %8.1f %8.1f %8.1f %8.1f\n", waits[w], n, 100.0 * zero / n,
                    100.0 * minus_one / n, 100.0 * below / n, 100.0 * above / n);
    }

    if (csv_path != nullptr) {
        csv << "method_index,wait_index,method,wait_ms,late_us,printed_error_ms,kept_cpu\n";
        for (const Sample &s : samples) {
            csv << s.method << ',' << s.wait_index << ',' << methods[s.method].name << ','
                << waits[s.wait_index] << ',' << s.late_us << ',';
            if (s.method == 0)
                csv << s.printed_error;
            csv << ',' << s.kept_cpu << '\n';
        }
        if (!csv) {
            std::fprintf(stderr, "delay_accuracy: no se pudo escribir %s\n", csv_path);
            return 1;
        }
    }
    return 0;
}
