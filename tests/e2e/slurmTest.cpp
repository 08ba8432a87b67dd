// The capture split over a real scheduler: a private single-node Slurm cluster in a temporary folder
// runs scripts/slurm-capture's job array and its join job for the bundled show.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "e2e/showFolder.h"
#include "support/process.h"
#include "support/tempFolder.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::Process;
using TestSupport::ShowFolder;

// The programs of Slurm and munge live in sbin, which a plain user's PATH may lack.
std::string FindProgram(const std::string& name) {
    for (const char* folder :
         {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"}) {
        const std::string path = std::string(folder) + "/" + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return "";
}

// A TCP port on the loopback that nothing listens on now.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

std::string ShortHostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    std::string host = name;
    return host.substr(0, host.find('.'));
}

// munged, slurmctld and slurmd in the foreground as our children, everything they write in one
// temporary folder, talking over their own socket and unprivileged ports. The destructor cancels
// the jobs and stops every daemon by its pid, whatever the test did.
class PrivateSlurm {
public:
    PrivateSlurm() {
        for (const char* program : {"munged", "slurmctld", "slurmd", "sbatch", "squeue", "scancel"}) {
            if (FindProgram(program).empty()) {
                m_missing = std::string(program) +
                            " is not installed (scripts/install-deps installs slurm-wlm "
                            "and munge)";
                return;
            }
        }
        const auto folder = m_folder.Path();
        for (const char* sub : {"state", "spool", "log"}) std::filesystem::create_directories(folder / sub);
        {
            std::ofstream key(folder / "munge.key", std::ios::binary);
            std::random_device random;
            for (int i = 0; i < 1024; ++i) key.put(char(random()));
        }
        std::filesystem::permissions(
            folder / "munge.key", std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        const std::string socket = (folder / "munge.socket").string();
        // -f: the temporary folder above ours is world-writable, which munged otherwise refuses.
        m_daemons.push_back(std::make_unique<Process>(
            std::vector<std::string>{FindProgram("munged"), "-F", "-f",
                                     "--key-file=" + (folder / "munge.key").string(), "--socket=" + socket,
                                     "--pid-file=" + (folder / "munged.pid").string(),
                                     "--log-file=" + (folder / "log/munged.log").string(),
                                     "--seed-file=" + (folder / "munge.seed").string()},
            folder));
        if (!TestSupport::WaitUntil([&] { return std::filesystem::exists(socket); }, 20s)) {
            m_missing = "munged did not start: " + m_daemons.back()->Output();
            return;
        }

        const passwd* account = getpwuid(getuid());
        const std::string login = account ? account->pw_name : "root";
        const std::string host = ShortHostName();
        const std::string f = folder.string();
        std::ofstream conf(folder / "slurm.conf");
        conf << "ClusterName=vantrisk\n"
             << "SlurmctldHost=" << host << "(127.0.0.1)\n"
             << "SlurmctldPort=" << FreePort() << "\nSlurmdPort=" << FreePort() << "\n"
             << "SlurmUser=" << login << "\nSlurmdUser=" << login << "\n"
             << "AuthType=auth/munge\nAuthInfo=socket=" << socket << "\nCredType=cred/munge\n"
             << "StateSaveLocation=" << f << "/state\nSlurmdSpoolDir=" << f << "/spool\n"
             << "SlurmctldPidFile=" << f << "/slurmctld.pid\nSlurmdPidFile=" << f << "/slurmd.pid\n"
             << "SlurmctldLogFile=" << f << "/log/slurmctld.log\nSlurmdLogFile=" << f << "/log/slurmd.log\n"
             << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
             << "JobAcctGatherType=jobacct_gather/none\nMpiDefault=none\n"
             << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\nReturnToService=2\n"
             // A dependent job starts at the scheduler's next pass: make that pass come soon.
             << "SchedulerParameters=sched_interval=1\n"
             << "NodeName=" << host << " NodeAddr=127.0.0.1 CPUs=" << sysconf(_SC_NPROCESSORS_ONLN)
             << " RealMemory=500 State=UNKNOWN\n"
             << "PartitionName=main Nodes=" << host << " Default=YES MaxTime=INFINITE State=UP\n";
        conf.close();
        m_environment = {"SLURM_CONF=" + f + "/slurm.conf", "SDL_AUDIODRIVER=dummy"};
        m_daemons.push_back(std::make_unique<Process>(
            std::vector<std::string>{FindProgram("slurmctld"), "-D", "-i"}, folder, m_environment));
        m_daemons.push_back(std::make_unique<Process>(
            std::vector<std::string>{FindProgram("slurmd"), "-D", "-N", host}, folder, m_environment));
        std::string nodes;
        const bool idle = TestSupport::WaitUntil(
            [&] {
                TestSupport::RunCommand({FindProgram("sinfo"), "-h", "-o", "%T"}, &nodes, folder,
                                        m_environment, 10s);
                return nodes.rfind("idle", 0) == 0;
            },
            30s);
        if (!idle) m_missing = "the node did not come up: " + nodes + Logs();
    }

    ~PrivateSlurm() {
        if (m_daemons.size() == 3 && m_daemons[1]->Running()) {
            TestSupport::RunCommand({FindProgram("scancel"), "--full", "--user", std::to_string(getuid())},
                                    nullptr, m_folder.Path(), m_environment, 10s);
        }
        // slurmd first, munged last: each is told to stop and given time to, then killed.
        for (auto daemon = m_daemons.rbegin(); daemon != m_daemons.rend(); ++daemon) {
            if ((*daemon)->Running()) kill((*daemon)->Pid(), SIGTERM);
            (*daemon)->Wait(15s);
        }
    }
    PrivateSlurm(const PrivateSlurm&) = delete;
    PrivateSlurm& operator=(const PrivateSlurm&) = delete;

    /// Why the cluster is not there ("" when it runs).
    const std::string& Problem() const { return m_missing; }
    /// SLURM_CONF for the clients.
    const std::vector<std::string>& Environment() const { return m_environment; }
    /// Whether any job is still queued or running.
    bool Busy() const {
        std::string jobs;
        TestSupport::RunCommand({FindProgram("squeue"), "-h", "-o", "%i %T"}, &jobs, m_folder.Path(),
                                m_environment, 10s);
        return !jobs.empty();
    }
    /// The daemons' logs, for a failure's message.
    std::string Logs() const {
        std::string logs;
        for (const char* log : {"log/slurmctld.log", "log/slurmd.log"})
            logs += std::string("\n--- ") + log + "\n" + TestSupport::ReadHostFile(m_folder.Path() / log);
        return logs.size() > 8000 ? logs.substr(logs.size() - 8000) : logs;
    }

private:
    TestSupport::TempFolder m_folder;
    std::vector<std::unique_ptr<Process>> m_daemons;
    std::vector<std::string> m_environment;
    std::string m_missing;
};

// What ffprobe says of the first stream of `kind` ("v" or "a") in `file`: the values of `entries`.
std::string Probe(const std::filesystem::path& folder, const std::string& file, const std::string& kind,
                  const std::string& entries) {
    std::string probe;
    TestSupport::RunCommand({"ffprobe", "-v", "error", "-count_packets", "-select_streams", kind + ":0",
                             "-show_entries", "stream=" + entries, "-of", "default=noprint_wrappers=1", file},
                            &probe, folder);
    return probe;
}

TEST(Slurm, JobArrayAndJoinCaptureTheBundledShow) {
    if (FindProgram("munged").empty() || FindProgram("slurmctld").empty())
        GTEST_SKIP() << "Slurm is not installed here (scripts/install-deps installs slurm-wlm and munge)";
    const PrivateSlurm slurm;
    ASSERT_EQ(slurm.Problem(), "");

    ShowFolder show;
    const std::filesystem::path data = std::filesystem::path(VANTRISK_SOURCE_DIR) / "data";
    for (const auto& entry : std::filesystem::directory_iterator(data))
        show.WriteData(entry.path().filename().string(), TestSupport::ReadHostFile(entry.path()));
    // A second of the plasma intro, small: the job runs the sanitizer build's program too.
    const std::vector<std::string> span = {"--fps", "8",      "--from", "4",      "--to",
                                           "5",     "--size", "96x72",  "--quiet"};
    std::vector<std::string> submit = {std::string(VANTRISK_SOURCE_DIR) + "/scripts/slurm-capture",
                                       "--segments",
                                       "4",
                                       "--program",
                                       VANTRISK_BINARY,
                                       "show.mp4"};
    submit.insert(submit.end(), span.begin(), span.end());
    std::string output;
    ASSERT_EQ(TestSupport::RunCommand(submit, &output, show.Path(), slurm.Environment()), 0) << output;

    // The join job starts after the array at the scheduler's next pass; the limit only catches a hang.
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return !slurm.Busy(); }, 300s)) << slurm.Logs();
    std::string logs;
    for (const auto& entry : std::filesystem::directory_iterator(show.Path() / "show.mp4.parts"))
        if (entry.path().extension() == ".log") logs += TestSupport::ReadHostFile(entry.path());
    ASSERT_TRUE(std::filesystem::exists(show.Path() / "show.mp4")) << output << logs << slurm.Logs();

    const std::string video = Probe(show.Path(), "show.mp4", "v", "nb_read_packets,r_frame_rate,width");
    EXPECT_NE(video.find("nb_read_packets=8"), std::string::npos) << video;
    EXPECT_NE(video.find("r_frame_rate=8/1"), std::string::npos) << video;
    EXPECT_NE(video.find("width=96"), std::string::npos) << video;
    const std::string audio = Probe(show.Path(), "show.mp4", "a", "duration");
    ASSERT_NE(audio.find("duration="), std::string::npos) << audio;
    EXPECT_NEAR(std::strtod(audio.c_str() + audio.find("duration=") + 9, nullptr), 1.0, 0.1) << audio;
    // The pieces are gone once joined.
    EXPECT_FALSE(std::filesystem::exists(show.Path() / "show.mp4.parts/piece-1.mp4"));
}

}  // namespace
