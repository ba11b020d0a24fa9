// tools/capture-parallel.sh with a part on another machine: a real OpenSSH server of the test's
// own on the loopback, with a host key and a user key made for it, reached through an ssh
// configuration of its own (the machine's sshd and ssh settings are not touched).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "capture/runs.h"

using namespace talvo::testsupport;

namespace {

// A loopback port nobody listens on at the moment.
int freeport() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
}

// sshd on 127.0.0.1 with its keys and configuration in `dir`. Host "render" is it; host
// "refused" is a port where nobody listens.
class sshserver {
public:
    explicit sshserver(const tempdir& dir) : dir(dir) {
        const int port = freeport();
        for (const char* key : {"hostkey", "userkey"})
            EXPECT_EQ(shell("ssh-keygen -q -t ed25519 -N '' -f '" + dir / key + "'").status, 0);
        std::filesystem::copy_file(dir / "userkey.pub", dir / "authorized_keys");
        std::ofstream(dir / "sshd_config") << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << dir / "hostkey"
                                           << "\nAuthorizedKeysFile " << dir / "authorized_keys"
                                           << "\nPidFile " << dir / "sshd.pid"
                                           << "\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                                              "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n";
        std::ofstream(dir / "ssh_config") << "Host render\n  HostName 127.0.0.1\n  Port " << port
                                          << "\nHost refused\n  HostName 127.0.0.1\n  Port " << freeport()
                                          << "\nHost *\n  IdentityFile " << dir / "userkey"
                                          << "\n  IdentitiesOnly yes\n  BatchMode yes\n  UserKnownHostsFile "
                                          << dir / "known_hosts" << "\n  StrictHostKeyChecking accept-new\n";
        const std::string sshd = "exec /usr/sbin/sshd -D -e -f '" + dir / "sshd_config" + "'";
        // As root, sshd wants /run/sshd for its unprivileged child: it gets one in a mount
        // namespace of its own, over an empty /run, so the machine's /run stays as it is.
        server = getuid() == 0 ? std::make_unique<process>(
                                     "/usr/bin/unshare",
                                     std::vector<std::string>{"--mount", "/bin/sh", "-c",
                                                              "mount -t tmpfs tmpfs /run && mkdir /run/sshd && " + sshd},
                                     dir.path())
                               : std::make_unique<process>("/bin/sh", std::vector<std::string>{"-c", sshd}, dir.path());
        listening = server->waitforerror("Server listening on 127.0.0.1 port", std::chrono::seconds(60));
    }
    ~sshserver() {
        kill(server->id(), SIGTERM);
        server->wait(std::chrono::seconds(60));
    }
    // ssh's command for GNU Parallel, with the test's configuration.
    std::string ssh() const { return "PARALLEL_SSH=ssh -F " + dir / "ssh_config"; }
    std::string log() const { return server->stderr_(); }

    bool listening;

private:
    const tempdir& dir;
    std::unique_ptr<process> server;
};

const std::vector<std::string> range = {"--size", "64x48", "--fps", "30", "--from", "135.5", "--to", "136.5", "--crf", "0"};

outcome runner(const std::string& hosts, const std::string& output, const sshserver& server, const tempdir& dir) {
    std::vector<std::string> args = {runnerscript, "-j", "2", "--sshlogin", hosts, "--", "-o", output};
    args.insert(args.end(), range.begin(), range.end());
    return runprogram("/bin/bash", args, dir.path(), {server.ssh()});
}

}  // namespace

TEST(CaptureOverSsh, APartOnAnotherHostJoinsIntoOneCapturesFramesAndARefusingHostFailsByName) {
    const tempdir keys, dir;
    {
        const sshserver server(keys);
        ASSERT_TRUE(server.listening) << server.log();

        std::vector<std::string> whole = range;
        whole.insert(whole.end(), {"-o", dir / "whole.mp4"});
        ASSERT_EQ(capture(whole).status, 0);
        // One part at a time on each host: one part here, one over SSH.
        const outcome run = runner("1/:,1/render", "out.mp4", server, dir);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(framemd5(dir / "out.mp4"), framemd5(dir / "whole.mp4"));
        EXPECT_NE(server.log().find("Accepted publickey"), std::string::npos) << server.log();
        EXPECT_EQ(filenames(dir.path()), (std::vector<std::string>{"out.mp4", "whole.mp4"}));

        const outcome refused = runner("1/:,1/refused", "refused.mp4", server, dir);
        EXPECT_EQ(refused.status, 1) << refused.err;
        EXPECT_NE(refused.err.find(" on refused ended with status 255"), std::string::npos) << refused.err;
        EXPECT_EQ(filenames(dir.path()), (std::vector<std::string>{"out.mp4", "whole.mp4"}));
    }
    // The server, and whatever ran through it, has ended.
    EXPECT_EQ(processeswith(keys.path()), (std::map<pid_t, std::string>{}));
    EXPECT_EQ(processeswith(dir.path()), (std::map<pid_t, std::string>{}));
}
