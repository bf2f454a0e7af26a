// Weighs a whole run of tarnwick against running what it drives by hand: arm-none-eabi-as
// on each source, one after the other, ld with the same linker script (and the start-up
// object, if given), and objcopy -O binary. tarnwick gets the first source alone and finds
// the others in its folder. The two take turns (ABBA), each run is timed from its start to
// the end of its last process, and the medians are compared. Both sides start their
// programs the same way (posix_spawn) and write into the same temporary folder.
//
//   bench-tarnwick TARNWICK LINKER_SCRIPT RUNS [--startup OBJECT] [--include FOLDER]... SOURCE...
//       prints "tarnwick_ms by_hand_ms runs"
// The by-hand assembler gets each --include folder, as a project's build passes its own.
// It measures; it judges nothing. It fails only when a run fails, or when the two images
// differ in more than the cartridge header, which tarnwick completes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using Command = std::vector<std::string>;

constexpr int WarmUps = 3;
constexpr std::size_t HeaderSize = 0xC0;

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "bench-tarnwick: %s\n", message.c_str());
    std::exit(1);
}

// Runs one program to its end, its output to /dev/null; false if it did not succeed.
bool runProgram(const Command &command)
{
    std::vector<char *> argv;
    for (const std::string &argument : command)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (started != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Milliseconds for the commands one after the other.
double timeRun(const std::vector<Command> &commands)
{
    const Clock::time_point start = Clock::now();
    for (const Command &command : commands) {
        if (!runProgram(command))
            fail("failed: " + command.front() + " (run it by hand to see why)");
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string readAll(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string usage
        = "usage: bench-tarnwick TARNWICK LINKER_SCRIPT RUNS [--startup OBJECT] "
          "[--include FOLDER]... SOURCE...";
    if (argc < 5)
        fail(usage);
    const std::string tarnwick = argv[1];
    const std::string script = argv[2];
    const int runs = std::atoi(argv[3]);
    if (runs < 1)
        fail("the number of runs must be at least 1");
    int next = 4;
    std::string startup;
    if (std::string(argv[next]) == "--startup" && next + 2 < argc) {
        startup = argv[next + 1];
        next += 2;
    }
    std::vector<std::string> includes;
    while (std::string(argv[next]) == "--include" && next + 2 < argc) {
        includes.push_back(argv[next + 1]);
        next += 2;
    }
    const std::vector<std::string> sources(argv + next, argv + argc);
    if (sources.empty())
        fail(usage);

    char folderTemplate[] = "/tmp/bench-tarnwick-XXXXXX";
    if (!mkdtemp(folderTemplate))
        fail("cannot make a temporary folder");
    const std::string folder = folderTemplate;
    // tarnwick also keeps its linked program, tarnwick.elf, as ld by hand keeps source.elf.
    const std::string image = folder + "/tarnwick.gba";
    const std::string program = folder + "/source.elf";
    const std::string flat = folder + "/by-hand.gba";
    std::vector<std::string> files = { image, folder + "/tarnwick.elf", program, flat };

    // Exactly the work tarnwick does on such a program, with objcopy for the flat image.
    const std::vector<Command> ours = { { tarnwick, sources.front(), image } };
    std::vector<Command> byHand;
    Command link = { "arm-none-eabi-ld", "-T", script, "-e", "0x08000000", "-o", program };
    if (!startup.empty())
        link.push_back(startup);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string &source = sources[i];
        const std::string object = folder + "/source" + std::to_string(i) + ".o";
        const std::string sourceFolder = source.substr(0, source.find_last_of('/') + 1) + ".";
        Command assemble = { "arm-none-eabi-as", "-mcpu=arm7tdmi", "-g", "-I", sourceFolder };
        for (const std::string &include : includes)
            assemble.insert(assemble.end(), { "-I", include });
        assemble.insert(assemble.end(), { "-o", object, source });
        byHand.push_back(assemble);
        link.push_back(object);
        files.push_back(object);
    }
    byHand.push_back(link);
    byHand.push_back({ "arm-none-eabi-objcopy", "-O", "binary", program, flat });

    // The warm-ups fill the page cache for both, and show that both make the same image.
    for (int i = 0; i < WarmUps; ++i) {
        timeRun(ours);
        timeRun(byHand);
    }
    const std::string mine = readAll(image);
    const std::string theirs = readAll(flat);
    if (mine.size() != theirs.size() || mine.size() <= HeaderSize)
        fail("tarnwick's image and the one made by hand differ in size");
    if (mine.compare(0, 4, theirs, 0, 4) != 0
        || mine.substr(HeaderSize) != theirs.substr(HeaderSize))
        fail("tarnwick's image and the one made by hand differ");

    std::vector<double> oursTimes;
    std::vector<double> byHandTimes;
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            oursTimes.push_back(timeRun(ours));
            byHandTimes.push_back(timeRun(byHand));
        } else {
            byHandTimes.push_back(timeRun(byHand));
            oursTimes.push_back(timeRun(ours));
        }
    }
    for (const std::string &file : files)
        unlink(file.c_str());
    rmdir(folder.c_str());

    std::printf("%.2f %.2f %d\n", median(oursTimes), median(byHandTimes), runs);
    return 0;
}
