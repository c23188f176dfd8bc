// The form browser against the real kvservice over loopback: the login page filled and
// submitted, the member cookie kept in the cookie file and then sent by the socket client's
// login status request, a wrong password, the log-out, and the preview page's image. The
// service's own pages are also read split at every position.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "addin/features/service/ServiceClient.h"
#include "addin/features/webview/FormBrowser.h"
#include "platform/CookieSource.h"
#include "platform/Decimal.h"
#include "platform/Network.h"

extern char** environ;

namespace kv {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// kvservice on a free loopback port, stopped and reaped when the test ends.
class RunningService {
public:
    RunningService() {
        const char* exe = std::getenv("KV_TEST_SERVICE");
        const char* data = std::getenv("KV_TEST_SERVICE_DATA");
        if (!exe || !data) return;
        data_ = data;
        char dir[] = "/tmp/kvwebviewXXXXXX";
        if (!mkdtemp(dir)) return;
        dir_ = dir;
        const std::string portFile = dir_ + "/port";
        std::string args[] = {exe, "--port", "0", "--port-file", portFile, "--data", data};
        char* argv[] = {&args[0][0], &args[1][0], &args[2][0], &args[3][0],
                        &args[4][0], &args[5][0], &args[6][0], nullptr};
        if (posix_spawn(&pid_, exe, nullptr, nullptr, argv, environ) != 0) {
            pid_ = 0;
            return;
        }
        for (int i = 0; i < 200 && port_ == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            port_ = kv::ReadDecimal(ReadFile(portFile));
        }
    }
    ~RunningService() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (!dir_.empty()) {
            std::remove((dir_ + "/port").c_str());
            std::remove((dir_ + "/cookies").c_str());
            rmdir(dir_.c_str());
        }
    }
    int port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    const std::string& dir() const { return dir_; }
    const std::string& data() const { return data_; }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::string dir_, data_;
};

class ImmediateScheduler : public LoadScheduler {
public:
    int scheduled = 0;
    void ScheduleLoad() override { ++scheduled; }
};

class ServicePages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(service_.port(), 0) << "kvservice did not start (KV_TEST_SERVICE, KV_TEST_SERVICE_DATA)";
        cookieFile_ = service_.dir() + "/cookies";
        setenv("KV_COOKIE_FILE", cookieFile_.c_str(), 1);
    }
    void TearDown() override { unsetenv("KV_COOKIE_FILE"); }

    // The page as the browser got it, after the scheduled run.
    void Load(FormBrowser& browser, const std::string& url) {
        ASSERT_TRUE(browser.Navigate(url));
        ASSERT_TRUE(browser.RunPending());
    }
    bool Login(FormBrowser& browser, const std::string& id, const std::string& pwd) {
        Load(browser, service_.Url("/k_app/login.asp"));
        bool filled = browser.SetInputValue("id", id) && browser.SetInputValue("pwd", pwd) &&
                      browser.SetInputValue("PID", "{6F1C0D1E-0000-4000-8000-000000000001}") &&
                      browser.SetInputValue("bms_code", "kv01");
        return filled && browser.Click("login_submit") && browser.RunPending();
    }
    // The login level as the pane's status query reads it: the socket client, FreeSearch slot.
    std::string LoginStatus() {
        ServiceConfig config;
        config.serviceHost = "127.0.0.1";
        config.port = service_.port();
        config.cookieAddress = cookieAddress_;
        ServiceClient client(SystemNetwork(), SystemCookieSource(), config);
        NetSession session(SystemNetwork());
        if (!client.HttpExchange(ReplySlot::FreeSearch, client.Address("/k_app/login_status.asp"))) return "(failed)";
        return client.Reply(ReplySlot::FreeSearch).body();
    }

    RunningService service_;
    std::string cookieFile_;
    std::string cookieAddress_ = "http://127.0.0.1/";
    ImmediateScheduler scheduler_;
    SocketPageFetcher fetcher_{SystemNetwork(), SystemCookieSource(), cookieAddress_};
};

TEST_F(ServicePages, LoginKeepsTheMemberCookieForTheSocketClient) {
    FormBrowser browser(fetcher_, scheduler_);
    EXPECT_EQ("", LoginStatus()) << "nobody logged in yet";

    ASSERT_TRUE(Login(browser, "kvfull", "wrong"));
    EXPECT_EQ("fail", browser.BodyText());
    EXPECT_EQ("", LoginStatus());

    ASSERT_TRUE(Login(browser, "kvfull", "full1234"));
    EXPECT_EQ("ok", browser.BodyText());
    EXPECT_FALSE(browser.loadFailed());
    EXPECT_NE(std::string::npos, ReadFile(cookieFile_).find("127.0.0.1\tKVMEMBER=kvfull")) << ReadFile(cookieFile_);
    EXPECT_EQ("1", LoginStatus()) << "the socket client sends the cookie the page set";

    Load(browser, service_.Url("/k_app/logout.asp"));
    EXPECT_EQ(std::string::npos, ReadFile(cookieFile_).find("KVMEMBER")) << ReadFile(cookieFile_);
    EXPECT_EQ("", LoginStatus());
}

TEST_F(ServicePages, ServicePagesReadTheSameForAnyChunking) {
    FormBrowser browser(fetcher_, scheduler_);
    for (const char* path : {"/k_app/login.asp", "/k_app/preview_image.asp?image=p111.png"}) {
        PageRequest request;
        request.url = service_.Url(path);
        PageReply reply;
        ASSERT_TRUE(fetcher_.Fetch(request, &reply)) << path;
        ASSERT_EQ(200, reply.status);
        const std::string& page = reply.body;
        HtmlDocument whole;
        whole.Feed(page);
        whole.Finish();
        for (size_t i = 0; i <= page.size(); ++i) {
            HtmlDocument split;
            split.Feed(page.substr(0, i));
            split.Feed(page.substr(i));
            split.Finish();
            ASSERT_EQ(whole.BodyText(), split.BodyText()) << path << " split at " << i;
            ASSERT_EQ(whole.elements().size(), split.elements().size()) << path << " split at " << i;
            for (size_t e = 0; e < whole.elements().size(); ++e) {
                ASSERT_EQ(whole.elements()[e].tag, split.elements()[e].tag);
                ASSERT_EQ(whole.elements()[e].attributes, split.elements()[e].attributes);
            }
        }
    }
}

TEST_F(ServicePages, LoginPageElementsAndPreviewImage) {
    FormBrowser browser(fetcher_, scheduler_);
    Load(browser, service_.Url("/k_app/login.asp"));
    for (const char* id : {"id", "pwd", "PID", "bms_code", "login_submit"}) {
        const HtmlElement* e = browser.document().Element(browser.FindElement(id));
        ASSERT_NE(nullptr, e) << id;
        EXPECT_EQ("input", e->tag) << id;
        EXPECT_EQ(browser.FindElement("login_form"), e->form) << id;
    }

    browser.SetLoadFirstImage(true);
    Load(browser, service_.Url("/k_app/preview_image.asp?image=p111.png"));
    EXPECT_EQ(ReadFile(service_.data() + "/preview/p111.png"), browser.imageBytes());
    EXPECT_FALSE(browser.imageBytes().empty());

    Load(browser, service_.Url("/k_app/preview_image.asp?image=missing.png"));
    EXPECT_TRUE(browser.loadFailed());
    EXPECT_EQ("", browser.imageBytes());

    Load(browser, "http://127.0.0.1:1/");  // nothing listens there
    EXPECT_TRUE(browser.loadFailed());
    EXPECT_FALSE(browser.hasDocument());
}

}  // namespace
}  // namespace kv
