// Configures the process's logging through the client: a test of its own.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "../ClientImpInspector.h"
#include "../ConsoleLog.h"
#include "api/MsgFactory.h"
#include "api/RuThereMessage.h"
#include "catalogue/OXProtocol.h"
#include "client/ClientImp.h"
#include "client/OXClient.h"
#include "client/OXInit.h"
#include "framework/MsgLogFile.h"
#include "logging/Log.h"
#include "logging/Message.h"
#include "support/client/RefusingPort.h"
#include "support/client/TestServer.h"

namespace {

using namespace ZURAV;
typedef ClientImpInspector In;

// A fresh directory, removed with its files.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/zurav-client-log-XXXXXX";
        _path = mkdtemp(pattern);
    }
    ~TempDir() {
        chmod(_path.c_str(), 0700);
        for (const std::string& f : files("")) std::remove(f.c_str());
        rmdir(_path.c_str());
    }
    const std::string& path() const { return _path; }
    // The files whose names end in suffix.
    std::vector<std::string> files(const std::string& suffix) const {
        std::vector<std::string> names;
        DIR* dir = opendir(_path.c_str());
        if (dir == nullptr) return names;
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            if (name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(_path + "/" + name);
            }
        }
        closedir(dir);
        return names;
    }

  private:
    std::string _path;
};

std::string readFile(const std::string& name) {
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The system log of these tests: nothing reaches the machine's; the lines are kept.
class QuietSysLog : public Orbanex::SysLogSink {
  public:
    QuietSysLog() : _previous(install(this)) {}
    ~QuietSysLog() override { install(_previous); }
    void open(const char*, int, int) override {}
    void write(int, const char* line) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _text += line;
        _text += '\n';
    }
    void close() override {}
    std::string text() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _text;
    }

  private:
    SysLogSink* _previous;
    mutable std::mutex _mutex;
    std::string _text;
};

int threadCount() {
    int n = 0;
    DIR* dir = opendir("/proc/self/task");
    while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
    closedir(dir);
    return n;
}

class ClientLog : public testing::Test {
  protected:
    void SetUp() override { OXInit::initialize(); }
    void TearDown() override { OXInit::finalize(); }

    static bool loggerRunning() { return Orbanex::LogManager::instance()->impl().isRunning(); }
    // The text log so far: everything this thread logged is written when it returns.
    static std::string textLog(const TempDir& dir) {
        Orbanex::LogManager::instance()->flushAndWait();
        const std::vector<std::string> files = dir.files(".txt");
        return files.size() == 1 ? readFile(files[0]) : "";
    }

    QuietSysLog syslog;
};

TEST_F(ClientLog, ANullDirectoryIsNotImplementedAndConfiguresNothing) {
    EXPECT_EQ(OXClient::setlog(nullptr, true), APIResult::NOT_IMPLEMENTED);
    EXPECT_FALSE(loggerRunning());
}

TEST_F(ClientLog, AWritableDirectoryGetsBothLogsAndTheClientsLinesAtInfo) {
    TempDir dir;
    ASSERT_EQ(OXClient::setlog(dir.path().c_str(), true), APIResult::OK);
    EXPECT_TRUE(loggerRunning());
    EXPECT_EQ(Orbanex::LogManager::instance()->impl().getLogLevel(), Orbanex::LogLevel::LOGDEBUG);
    EXPECT_EQ(dir.files(".dat").size(), 1u);
    ASSERT_EQ(dir.files(".txt").size(), 1u);
    EXPECT_EQ(dir.files(".txt")[0].rfind(dir.path() + "/ZURAV.", 0), 0u);

    // Logged at INFO whatever the level; not connected, so nothing is sent.
    OXClient client("user", "secret", "localhost", 1);
    client.log("first words", LogLevel::LOGCRITICAL);
    client.log(nullptr);
    const std::string text = textLog(dir);
    const size_t line = text.find("first words");
    ASSERT_NE(line, std::string::npos);
    const std::string prefix =
        text.substr(text.rfind('\n', line) + 1, line - text.rfind('\n', line));
    EXPECT_NE(prefix.find("|INFO |"), std::string::npos) << prefix;
    EXPECT_NE(prefix.find("|API   |"), std::string::npos) << prefix;
}

TEST_F(ClientLog, WithoutTheTextLogOnlyTheBinaryLogIsWritten) {
    TempDir dir;
    ASSERT_EQ(OXClient::setlog(dir.path().c_str(), false), APIResult::OK);
    OXClient client("user", "secret", "localhost", 1);
    client.log("not in a text file");
    Orbanex::LogManager::instance()->flushAndWait();
    EXPECT_TRUE(dir.files(".txt").empty());
    EXPECT_EQ(dir.files(".dat").size(), 1u);
}

// As root access() lets every directory through, so the file-in-the-way case is the one that
// shows the client surviving a log file it cannot create.
TEST_F(ClientLog, DirectoriesThatCannotHoldTheLogsGiveCouldNotOpen) {
    TempDir dir;
    const std::string missing = dir.path() + "/missing";
    const std::string file = dir.path() + "/file";
    std::ofstream(file) << "not a directory";
    ASSERT_EQ(access(file.c_str(), W_OK), 0);

    EXPECT_EQ(OXClient::setlog(missing.c_str(), true), APIResult::COULD_NOT_OPEN);
    EXPECT_FALSE(loggerRunning());
    EXPECT_EQ(OXClient::setlog(file.c_str(), true), APIResult::COULD_NOT_OPEN);
    EXPECT_EQ(dir.files(".txt").size(), 0u);

    if (geteuid() != 0) {
        TempDir readOnly;
        ASSERT_EQ(chmod(readOnly.path().c_str(), 0500), 0);
        EXPECT_EQ(OXClient::setlog(readOnly.path().c_str(), true), APIResult::COULD_NOT_OPEN);
        EXPECT_TRUE(readOnly.files("").empty());
    }

    // The process goes on, and a good directory still works.
    TempDir good;
    EXPECT_EQ(OXClient::setlog(good.path().c_str(), true), APIResult::OK);
    EXPECT_EQ(good.files(".txt").size(), 1u);
}

TEST_F(ClientLog, ConfiguringAgainMovesTheLogsWithoutASecondLoggerThread) {
    TempDir first, second;
    ASSERT_EQ(OXClient::setlog(first.path().c_str(), true), APIResult::OK);
    const int threads = threadCount();
    ASSERT_EQ(OXClient::setlog(second.path().c_str(), true), APIResult::OK);
    EXPECT_EQ(threadCount(), threads);
    EXPECT_TRUE(loggerRunning());

    OXClient client("user", "secret", "localhost", 1);
    client.log("after the second set-up");
    EXPECT_NE(textLog(second).find("after the second set-up"), std::string::npos);
}

TEST_F(ClientLog, DebugModeLogsEverySendButPingsAndEveryConnectionAttempt) {
    TempDir dir;
    ASSERT_EQ(OXClient::setlog(dir.path().c_str(), true), APIResult::OK);
    setenv("THIRD_PARTY_JAVA", "1", 1);
    test_support::RefusingPort refusing;
    ClientImp client(nullptr, "user", "secret", "127.0.0.1", refusing.port(), nullptr, 0);
    client.setDebug(true);
    unsetenv("THIRD_PARTY_JAVA");

    EXPECT_EQ(client.connectMany(), APIResult::SOCKERR_CONNECT);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    In::adopt(client, fds[0], fds[0]);
    client.setConnected(true);
    client.log("logged and sent", LogLevel::LOGWARN);
    EXPECT_EQ(client.send(MsgFactory::createMessage(RuThereMessage::ID)), APIResult::OK);
    close(fds[1]);

    const std::string port = std::to_string(refusing.port());
    const std::string text = textLog(dir);
    EXPECT_NE(text.find("Attempting to connect to 127.0.0.1:" + port), std::string::npos);
    EXPECT_NE(text.find("connectOne(127.0.0.1, " + port + ")"), std::string::npos);
    EXPECT_NE(text.find("Error: Connection refused"), std::string::npos);
    EXPECT_NE(text.find("send: <InsertLogMessage"), std::string::npos);
    EXPECT_EQ(text.find("send: <RuThereMessage"), std::string::npos);
}

// No output of the logs ever holds the password: debug mode shows the login with the user
// name and the password masked, in the text log, the binary log, the system log and the
// console mirror alike.
TEST_F(ClientLog, DebugModeShowsTheLoginWithItsPasswordMasked) {
    const std::string USER = "log-user-7c";
    const std::string PASSWORD = "pw-Qx81-never-logged";
    const ConsoleLog console;
    TempDir dir;
    ASSERT_EQ(OXClient::setlog(dir.path().c_str(), true), APIResult::OK);
    test_support::TestServer server;
    OXClient client(USER.c_str(), PASSWORD.c_str(), "127.0.0.1", server.port());
    setenv("THIRD_PARTY_JAVA", "1", 1);
    client.setDebug(true);
    unsetenv("THIRD_PARTY_JAVA");
    ASSERT_EQ(client.connect(), APIResult::OK);
    EXPECT_EQ(client.close(), APIResult::OK);
    Orbanex::LogManager::instance()->flushAndWait();

    std::string binary;  // the texts of the binary log's log records
    ASSERT_EQ(dir.files(".dat").size(), 1u);
    std::unique_ptr<Tarvik::MsgLogFile> file(
        Tarvik::MsgLogFile::open(dir.files(".dat")[0].c_str(), Orbanex::__protocol));
    ASSERT_NE(file, nullptr);
    for (Tarvik::MsgIterator it(file.get()); !it.done(); ++it) {
        if (it.id() != Orbanex::LogMessage::ID) continue;
        const Orbanex::ShpMessage m = Orbanex::Message::decodeMessage(
            CALLSITE, it.id(), it.getCurrent() + 12, it.length() - 10);
        binary += static_cast<const Orbanex::LogMessage*>(m->getPayload())->description.c_str();
        binary += '\n';
    }
    const struct {
        const char* log;
        std::string text;
    } logs[] = {{"text log", textLog(dir)},
                {"binary log", binary},
                {"system log", syslog.text()},
                {"console", console.text()}};
    for (const auto& log : logs) {
        SCOPED_TRACE(log.log);
        const size_t login = log.text.find("send: <ClientConnectMessage");
        ASSERT_NE(login, std::string::npos) << log.text;
        const std::string line = log.text.substr(login, log.text.find('\n', login) - login);
        EXPECT_NE(line.find(USER), std::string::npos) << line;
        EXPECT_NE(line.find(ClientImp::PASSWORD_MASK), std::string::npos) << line;
        EXPECT_EQ(log.text.find(PASSWORD), std::string::npos) << log.text;
    }
}

}  // namespace
