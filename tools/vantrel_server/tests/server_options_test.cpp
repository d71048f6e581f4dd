#include "server_options.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

namespace calidra {
namespace {

OptionsOutcome parse(std::vector<const char*> arguments, ServerOptions& options, std::string& error) {
    arguments.insert(arguments.begin(), {"VantrelServer", "384", "288"});
    return parseServerOptions(int(arguments.size()), arguments.data(), options, error);
}

TEST(ServerOptionsTest, DefaultsServeOnlyThisMachine) {
    ServerOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), OptionsOutcome::Ready);
    EXPECT_EQ(options.width, 384);
    EXPECT_EQ(options.height, 288);
    EXPECT_EQ(options.rtspPort, 8554);
    EXPECT_EQ(options.bindAddress, "127.0.0.1");
    EXPECT_EQ(options.jpegEvery, 30);
    EXPECT_EQ(options.httpPort, -1) << "no HTTP unless asked for";

    ASSERT_EQ(parse({"--port", "0", "--jpeg-dir", "/tmp/x", "--every", "5", "--http", "0"}, options, error),
              OptionsOutcome::Ready);
    EXPECT_EQ(options.rtspPort, 0);
    EXPECT_EQ(options.httpPort, 0);
    EXPECT_EQ(options.jpegFolder, "/tmp/x");
    EXPECT_EQ(options.jpegEvery, 5);
    for (const auto& wrong : std::vector<std::vector<const char*>>{{"--port", "65536"},
                                                                   {"--port", "-1"},
                                                                   {"--http", "-1"},
                                                                   {"--http"},
                                                                   {"--every", "0"},
                                                                   {"--bind"},
                                                                   {"--loud"}}) {
        ServerOptions fresh;
        EXPECT_EQ(parse(wrong, fresh, error), OptionsOutcome::Usage) << wrong[0];
    }
}

TEST(ServerOptionsTest, AnyOtherAddressNeedsCredentialsOrAnExplicitAnonymous) {
    std::string error;
    for (const char* address : {"0.0.0.0", "::", "192.0.2.7"}) {
        ServerOptions options;
        EXPECT_EQ(parse({"--bind", address}, options, error), OptionsOutcome::Refused) << address;
        EXPECT_NE(error.find("--auth"), std::string::npos) << error;
        ServerOptions withAuth;
        EXPECT_EQ(parse({"--bind", address, "--auth", "users"}, withAuth, error), OptionsOutcome::Ready);
        ServerOptions anonymous;
        EXPECT_EQ(parse({"--anonymous", "--bind", address}, anonymous, error), OptionsOutcome::Ready);
    }
    for (const char* address : {"127.0.0.1", "127.3.2.1", "::1", "::ffff:127.0.0.1"}) {
        ServerOptions options;
        EXPECT_EQ(parse({"--bind", address}, options, error), OptionsOutcome::Ready) << address;
    }
    EXPECT_FALSE(isLoopbackAddress(""));
    EXPECT_FALSE(isLoopbackAddress("::ffff:10.0.0.1"));
}

TEST(ServerOptionsTest, CredentialsFileKeepsColonsInPasswordsAndNamesABadLine) {
    const std::string path = "/tmp/vantrel-credentials-" + std::to_string(::getpid());
    std::ofstream(path) << "# viewers\n\nguard:se:cret\r\nsecond:pass\n";
    std::vector<Credential> credentials;
    std::string error;
    ASSERT_TRUE(readCredentials(path, credentials, error)) << error;
    ASSERT_EQ(credentials.size(), 2u);
    EXPECT_EQ(credentials[0].user, "guard");
    EXPECT_EQ(credentials[0].password, "se:cret");
    EXPECT_EQ(credentials[1].password, "pass");

    for (const char* content : {"ok:fine\nguard\n", "ok:fine\n:password\n", "ok:fine\nguard:\n"}) {
        std::ofstream(path) << content;
        EXPECT_FALSE(readCredentials(path, credentials, error)) << content;
        EXPECT_NE(error.find(path + ":2:"), std::string::npos) << error;
    }
    std::ofstream(path) << "# nobody yet\n";
    EXPECT_FALSE(readCredentials(path, credentials, error));
    std::remove(path.c_str());
    EXPECT_FALSE(readCredentials(path, credentials, error));
}

} // namespace
} // namespace calidra
