// What the kernel alone needs to put N new cards of a given size into one directory durably, in the
// ways a save can do it, with no building of cards at all: the floor under an import.
//
//   bench_filefloor DIR [N=200000] [BYTES=330] [THREADS=2] [SLICE=4096] [MODES=rename,tmpfile]
//
// Each mode writes into a new sub-directory of DIR (left in place: deleting many files slows the
// next creations down on ext4 without a journal) and prints wall and CPU time:
//  - rename:  create a named temporary file, write, fstat, close; one syncfs per slice; rename each
//             into place (RENAME_NOREPLACE); one fsync of the directory per slice.
//  - tmpfile: open an unnamed file (O_TMPFILE), write, fstat; one syncfs per slice; link each to
//             its name (linkat, which fails when the name exists), close; one syncfs per slice
//             (the links and the files' link counts).
//  - nosync:  rename without any sync: what creating and renaming cost alone.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void die(const char *what, const std::string &path)
{
    std::fprintf(stderr, "%s %s: %s\n", what, path.c_str(), std::strerror(errno));
    std::exit(1);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void parallel(size_t count, size_t threads, const auto &work)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread &thread : pool)
        thread.join();
}

void writeAll(int fd, const std::string &bytes, const std::string &path)
{
    if (::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        die("write", path);
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size != off_t(bytes.size()))
        die("fstat", path);
}

void run(const std::string &dir, const std::string &mode, size_t n, size_t bytes, size_t threads,
         size_t slice)
{
    if (::mkdir(dir.c_str(), 0755) != 0)
        die("mkdir", dir);
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        die("open", dir);
    const std::string card(bytes, 'x');
    const auto start = std::chrono::steady_clock::now();
    const double cpu = cpuSeconds();
    double syncing = 0;
    const auto timedSync = [&](bool whole) {
        const auto t = std::chrono::steady_clock::now();
        if ((whole ? ::syncfs(dirFd) : ::fsync(dirFd)) != 0)
            die("sync", dir);
        syncing += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    };
    std::vector<int> fds(slice, -1);
    for (size_t begin = 0; begin < n; begin += slice) {
        const size_t count = std::min(slice, n - begin);
        const auto name = [&](size_t i) {
            char text[64];
            std::snprintf(text, sizeof text, "p%zu.vcf", begin + i);
            return std::string(text);
        };
        const auto temp = [&](size_t i) {
            char text[64];
            std::snprintf(text, sizeof text, ".p%zu.vcf.zorbix-abcdef.tmp", begin + i);
            return std::string(text);
        };
        if (mode == "tmpfile") {
            parallel(count, threads, [&](size_t i) {
                fds[i] = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
                if (fds[i] < 0)
                    die("open", name(i));
                writeAll(fds[i], card, name(i));
            });
            timedSync(true);
            parallel(count, threads, [&](size_t i) {
                char proc[64];
                std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fds[i]);
                if (::linkat(AT_FDCWD, proc, dirFd, name(i).c_str(), AT_SYMLINK_FOLLOW) != 0)
                    die("linkat", name(i));
                ::close(fds[i]);
            });
            timedSync(true);
        } else {
            parallel(count, threads, [&](size_t i) {
                const int fd =
                    ::openat(dirFd, temp(i).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (fd < 0)
                    die("open", temp(i));
                writeAll(fd, card, temp(i));
                if (::close(fd) != 0)
                    die("close", temp(i));
            });
            if (mode != "nosync")
                timedSync(true);
            parallel(count, threads, [&](size_t i) {
                if (::renameat2(dirFd, temp(i).c_str(), dirFd, name(i).c_str(), RENAME_NOREPLACE) != 0)
                    die("rename", name(i));
            });
            if (mode != "nosync")
                timedSync(false);
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%-8s %zu files of %zu bytes, %zu threads, slice %zu: %.2f s wall, %.2f s CPU, %.2f s in syncs "
        "(%.1f us a file)\n",
        mode.c_str(), n, bytes, threads, slice, wall, cpuSeconds() - cpu, syncing, wall * 1e6 / double(n));
    ::close(dirFd);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [N] [BYTES] [THREADS] [SLICE] [MODES]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const size_t n = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200000;
    const size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 330;
    const size_t threads = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 2;
    const size_t slice = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 4096;
    std::string modes = argc > 6 ? argv[6] : "rename,tmpfile";
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max; // the tmpfile mode holds a slice's files open
    setrlimit(RLIMIT_NOFILE, &files);
    for (size_t at = 0; at <= modes.size();) {
        const size_t comma = std::min(modes.find(',', at), modes.size());
        const std::string mode = modes.substr(at, comma - at);
        run(dir + "/" + mode + "-" + std::to_string(::getpid()), mode, n, bytes, threads, slice);
        at = comma + 1;
    }
    return 0;
}
