// Running code and the built programs from tests in a child process: where
// the build put the programs, a temporary folder to run them in, one run
// with its exit status and both output streams, and a test body run with
// its address space capped.
#pragma once

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace run {

// A program of this build, by its path below the build folder ("viewer/
// kvorview"); test programs live in <build>/tests.
inline std::string BuiltProgram(const std::string& relative)
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "";
    const std::filesystem::path program(std::string(self, size_t(length)));
    return (program.parent_path().parent_path() / relative).string();
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvor_test.XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder()
    {
        if (!path_.empty())
            std::filesystem::remove_all(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& Path() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` (a string or a byte vector) into the file `name`; its path.
    template <typename Bytes>
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }

private:
    std::string path_;
};

struct Result {
    int status;        // exit status; −1 when the program did not exit normally or did not start
    std::string out;
    std::string err;
};

// Starts `body` in a child process in the folder `dir` with standard input
// from /dev/null and both output streams going into files of `dir` named by
// `tag`; the child exits with status 0 when `body` returns. The one
// child-process runner of the tests: programs are started through it too.
template <typename Body>
pid_t Start(const std::string& dir, Body body, const std::string& tag = "run")
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open((dir + "/." + tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open((dir + "/." + tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(0);
    }
    return child;
}

// Waits for a child that Start started; `raw` gets the wait status. With a
// `limit`, a child still running that many seconds on is killed, so that
// one that should have ended fails its test rather than hanging it.
inline Result Finish(pid_t child, const std::string& dir, const std::string& tag = "run", int* raw = nullptr,
                     int limit = 0)
{
    if (child < 0)
        return {-1, "", "cannot fork"};
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < limit * 20 && (ended = waitpid(child, &status, WNOHANG)) == 0; ++i)
        usleep(50000);
    if (limit && ended == 0)
        kill(child, SIGKILL);
    while (ended != child && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (raw)
        *raw = status;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(dir + "/." + tag + ".out"),
            ReadText(dir + "/." + tag + ".err")};
}

template <typename Body>
Result RunInChild(const std::string& dir, Body body, const std::string& tag = "run", int limit = 0)
{
    return Finish(Start(dir, body, tag), dir, tag, nullptr, limit);
}

// The body that runs the program `argv` with the environment changed by
// `env` ("NAME=value" sets, "NAME" removes).
inline auto Exec(const std::vector<std::string>& argv, const std::vector<std::string>& env = {})
{
    return [argv, env] {
        for (const std::string& change : env) {
            const size_t equals = change.find('=');
            if (equals == std::string::npos)
                unsetenv(change.c_str());
            else
                setenv(change.substr(0, equals).c_str(), change.substr(equals + 1).c_str(), 1);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    };
}

// Runs the program `argv` in the folder `dir`. A non-zero `fileSizeLimit`
// caps the files it writes: a write beyond it fails with EFBIG instead of
// ending the program. A non-zero `limit` kills it after that many seconds.
inline Result Run(const std::vector<std::string>& argv, const std::string& dir,
                  const std::vector<std::string>& env = {}, const std::string& tag = "run",
                  rlim_t fileSizeLimit = 0, int limit = 0)
{
    const auto exec = Exec(argv, env);
    return RunInChild(
        dir,
        [&] {
            if (fileSizeLimit) {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit = {fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            exec();
        },
        tag, limit);
}

// Runs `body` in a child process whose address space is capped `margin`
// bytes above what the process uses, so that allocations beyond it fail;
// true when the body returned true. The cap ends with the child. Large
// blocks are mapped afresh and unmapped when freed, so that the cap cannot
// be met from freed heap space. AddressSanitizer reserves too much address
// space for a cap to mean anything: the tests skip it there.
inline bool RunWithCappedMemory(const std::function<bool()>& body, rlim_t margin)
{
    mallopt(M_MMAP_THRESHOLD, 128 << 10);
    const TempFolder folder;
    const Result result = RunInChild(folder.Path(), [&] {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlimit limit = {rlim_t(pages) * 4096 + margin, rlim_t(pages) * 4096 + margin};
        setrlimit(RLIMIT_AS, &limit);
        if (!body())
            _exit(1);
    });
    return result.status == 0;
}

}  // namespace run
