// sopcook run as a process the way a shell or a render farm runs it: real
// signals during a cook, outputs that cannot be written, memory and file-size
// limits, and cooks the estimate refuses. Whatever happens, the output is
// complete or absent and no temporary file is left behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <openvdb/openvdb.h>

namespace
{
const std::string dataDir = SOPCOOK_TEST_DATA;

class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/sopcook-signals-XXXXXX";
        myPath = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + myPath + "'").c_str()); }
    std::string operator/(const std::string &name) const { return myPath + "/" + name; }
    const std::string &path() const { return myPath; }

    // Names in the folder, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        if (DIR *d = opendir(myPath.c_str()))
        {
            while (dirent *e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string myPath;
};

std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One sopcook process; stdout is dropped, stderr kept in a file.
struct Process
{
    pid_t pid = -1;
    std::string errPath;

    std::string err() const { return readText(errPath); }
    int wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
    // Waits until stderr contains text; false after timeout.
    bool waitForText(const std::string &text, double timeout = 10.0) const
    {
        auto start = std::chrono::steady_clock::now();
        while (err().find(text) == std::string::npos)
        {
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > timeout) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

// Starts sopcook with args; limit (RLIMIT_*, bytes) is set in the child
// before exec when given.
Process start(const std::vector<std::string> &args, const std::string &errPath, int limit = -1, rlim_t bytes = 0)
{
    Process p;
    p.errPath = errPath;
    p.pid = fork();
    if (p.pid == 0)
    {
        int devnull = open("/dev/null", O_WRONLY);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devnull, 1);
        dup2(err, 2);
        if (limit >= 0)
        {
            struct rlimit r = {bytes, bytes};
            setrlimit(limit, &r);
        }
        std::vector<char *> argv = {const_cast<char *>(SOPCOOK_BINARY)};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(SOPCOOK_BINARY, argv.data());
        _exit(127);
    }
    return p;
}

int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status); }

size_t lineCount(const std::string &text) { return std::count(text.begin(), text.end(), '\n'); }

// One point whose radius spans the whole grid: every child fills every voxel,
// so the cook is slow (it would take days with this many children) and its
// partial result is large enough that writing it takes a while.
std::string longCookInput(const TempDir &dir)
{
    std::string path = dir / "ball.ply";
    std::ofstream(path) << "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                           "property float z\nproperty float pscale\nproperty float density\nend_header\n0 0 0 100 1\n";
    return path;
}

std::vector<std::string> longCook(const std::string &input, const std::string &out)
{
    return {"cook", "plumeweave", "-i", input, "-s", "divs=96,96,96", "-s", "feather=1", "-s", "childrencount=100000000",
            "-v", "-o", out};
}

// The progress line shows once the cook has run half a second.
const std::string cooking = "\033[Kplumeweave";

uint64_t activeDensity(const std::string &path)
{
    openvdb::initialize();
    openvdb::io::File file(path);
    file.open();
    openvdb::GridBase::Ptr grid = file.readGrid("density");
    file.close();
    return grid->activeVoxelCount();
}

void expectPartialResult(int signal)
{
    TempDir dir;
    std::string input = longCookInput(dir);
    Process p = start(longCook(input, dir / "out.vdb"), dir / "err.txt");
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, signal);
    int status = p.wait();
    EXPECT_EQ(exitCode(status), 130) << p.err();
    EXPECT_NE(p.err().find("sopcook: warning: interrupted: writing the partial result of plumeweave"), std::string::npos)
        << p.err();
    EXPECT_GT(activeDensity(dir / "out.vdb"), 0u);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt", "out.vdb"}));
}

TEST(SopcookSignals, OneInterruptWritesTheCompletePartialResult) { expectPartialResult(SIGINT); }

TEST(SopcookSignals, TerminateBehavesLikeAnInterrupt) { expectPartialResult(SIGTERM); }

TEST(SopcookSignals, SecondInterruptLeavesNoFile)
{
    TempDir dir;
    std::string input = longCookInput(dir);
    Process p = start(longCook(input, dir / "out.vdb"), dir / "err.txt");
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, SIGINT);
    ASSERT_TRUE(p.waitForText("sopcook: interrupted; stopping the cook")) << p.err();
    kill(p.pid, SIGINT);
    int status = p.wait();
    EXPECT_EQ(exitCode(status), 128 + SIGINT) << p.err();
    EXPECT_NE(p.err().find("sopcook: aborted; nothing written"), std::string::npos) << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt"}));
}

// Each unwritable output fails with one line naming it, and leaves nothing.
TEST(SopcookOutputFailures, MissingFolderFileAsFolderAndFileSizeLimit)
{
    TempDir dir;
    const std::string points = dataDir + "/points.geo";
    struct Case
    {
        std::string out;
        int limit;
        rlim_t bytes;
        std::string reason;
    };
    for (const Case &c : {Case{dir / "missing/out.vdb", -1, 0, "No such file or directory"},
                          Case{"/dev/null/out.vdb", -1, 0, "Not a directory"},
                          // A full disk, as far as the writer can tell.
                          Case{dir / "big.vdb", RLIMIT_FSIZE, 16384, "File too large"}})
    {
        Process p = start({"cook", "billowfold", "-i", points, "-s", "divs=64,64,64", "-o", c.out}, dir / "err.txt",
                          c.limit, c.bytes);
        int status = p.wait();
        std::string err = p.err();
        EXPECT_EQ(exitCode(status), 1) << c.out << ": " << err;
        EXPECT_EQ(err, "sopcook: error: cannot write " + c.out + ": " + c.reason + "\n");
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt"})) << c.out;
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SOPCOOK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SOPCOOK_SANITIZED 1
#endif
#endif

TEST(SopcookLimits, RunningOutOfMemoryIsAnErrorWithoutOutput)
{
#ifdef SOPCOOK_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    TempDir dir;
    std::string input = longCookInput(dir);
    // 512^3 filled voxels need 512 MB; the process may have 256 MB.
    Process p = start({"cook", "plumeweave", "-i", input, "-s", "divs=512,512,512", "-s", "feather=1", "-s",
                       "childrencount=1", "--force", "-o", dir / "out.vdb"},
                      dir / "err.txt", RLIMIT_AS, rlim_t(256) << 20);
    int status = p.wait();
    std::string err = p.err();
    EXPECT_EQ(exitCode(status), 1) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;
    EXPECT_NE(err.find("out of memory"), std::string::npos) << err;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt"}));

    // Without --force the estimate refuses the same cook up front.
    p = start({"cook", "plumeweave", "-i", input, "-s", "divs=512,512,512", "-o", dir / "out.vdb"}, dir / "err.txt",
              RLIMIT_AS, rlim_t(256) << 20);
    status = p.wait();
    err = p.err();
    EXPECT_EQ(exitCode(status), 1) << err;
    EXPECT_EQ(err.rfind("sopcook: error: divs=512,512,512: 4 volumes of 1.34e+08 voxels take up to 2.0 GB", 0), 0u) << err;
}

TEST(SopcookLimits, EstimateRefusesAbsurdCooksAndPassesOrdinaryOnes)
{
    TempDir dir;
    const std::string points = dataDir + "/points.geo", quads = dataDir + "/quad_ascii.ply";
    struct Case
    {
        std::vector<std::string> args;
        std::string mention; // "" when the cook must run
    };
    for (const Case &c : {
             Case{{"plumeweave", "-i", points, "-s", "divs=100000,100000,100000"}, "divs=100000,100000,100000"},
             Case{{"plumeweave", "-i", points, "-s", "childrencount=100000", "-s", "noiseoctaves=16000000"},
                  "noiseoctaves=16000000"},
             Case{{"skinweave", "-i", quads, "-s", "extendvoxels=100000"}, "extendvoxels=100000"},
             Case{{"plumeweave", "-i", points, "-s", "divs=512,512,512", "-s", "childrencount=2"}, ""},
             Case{{"billowfold", "-i", points, "-s", "divs=-5,0,1"}, ""},
         })
    {
        std::vector<std::string> args = {"cook"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", dir / "out.vdb"});
        Process p = start(args, dir / "err.txt");
        int status = p.wait();
        std::string err = p.err();
        if (c.mention.empty())
        {
            EXPECT_EQ(exitCode(status), 0) << err;
            unlink((dir / "out.vdb").c_str());
            continue;
        }
        EXPECT_EQ(exitCode(status), 1) << err;
        EXPECT_NE(err.find(c.mention), std::string::npos) << err;
        EXPECT_NE(err.find("(use --force to cook anyway)\n"), std::string::npos) << err;
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt"}));
    }
}
} // namespace
