// Running the built programs from tests: where the build put them, a
// temporary folder to run them in, and one run with its exit status and
// both output streams; and a test body run in a child process whose
// address space is capped.
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

private:
    std::string path_;
};

struct Result {
    int status;        // exit status; −1 when the program did not exit normally or did not start
    std::string out;
    std::string err;
};

// Runs `argv` in the folder `dir` with standard input from /dev/null and
// the environment changed by `env` ("NAME=value" sets, "NAME" removes); the
// two output streams go through files of `dir` named by `tag`. A non-zero
// `fileSizeLimit` caps the files it writes: a write beyond it fails with
// EFBIG instead of ending the program.
inline Result Run(const std::vector<std::string>& argv, const std::string& dir,
                  const std::vector<std::string>& env = {}, const std::string& tag = "run",
                  rlim_t fileSizeLimit = 0)
{
    const std::string outPath = dir + "/." + tag + ".out";
    const std::string errPath = dir + "/." + tag + ".err";
    const pid_t child = fork();
    if (child < 0)
        return {-1, "", "cannot fork"};
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (fileSizeLimit) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
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
    }
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return {status, ReadText(outPath), ReadText(errPath)};
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
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlimit limit = {rlim_t(pages) * 4096 + margin, rlim_t(pages) * 4096 + margin};
        setrlimit(RLIMIT_AS, &limit);
        _exit(body() ? 0 : 1);
    }
    int raw = 0;
    while (child > 0 && waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return child > 0 && WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

}  // namespace run
