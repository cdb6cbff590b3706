// Runs one command in a given folder and prints its wall time in seconds and
// its peak resident memory in kilobytes: "<seconds> <kilobytes>". The
// command's standard output goes to the file "stdout" in that folder, its
// standard error is discarded. Exits nonzero if the
// command could not run or did not exit with status 0.
//
//     run_timer FOLDER PROGRAM [ARGUMENT...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        (void)std::fprintf(stderr, "usage: run_timer FOLDER PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == -1) {
        std::perror("run_timer: fork");
        return 2;
    }
    if (child == 0) {
        if (chdir(argv[1]) != 0) {
            _exit(127);
        }
        const int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_WRONLY);
        if (out == -1 || null == -1) {
            _exit(127);
        }
        dup2(out, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("run_timer: wait4");
        return 2;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %ld\n", elapsed.count(), usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
