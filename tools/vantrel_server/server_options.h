#pragma once
// The command line of VantrelServer and the rule that keeps the picture off the network unless
// the operator chose to publish it.

#include <string>
#include <vector>

namespace calidra {

struct Credential {
    std::string user;
    std::string password;
};

struct ServerOptions {
    int width = 0;
    int height = 0;
    std::string jpegFolder;
    int jpegEvery = 30;
    int rtspPort = 8554; // 0 lets the system choose a free port
    int httpPort = -1;   // -1: no HTTP; 0 lets the system choose a free port
    std::string bindAddress = "127.0.0.1";
    std::string authFile;
    bool anonymous = false;
};

enum class OptionsOutcome { Ready, Usage, Refused };

// Parses argv; on Refused, error says why in words for the operator.
OptionsOutcome parseServerOptions(int argc, const char* const* argv, ServerOptions& options,
                                  std::string& error);

// True when every address the name resolves to is a loopback address.
bool isLoopbackAddress(const std::string& address);

// Reads "user:password" lines (the password may hold colons; blank lines and lines starting with
// '#' are skipped). False with a reason when the file cannot be read, a line is malformed or no
// credential is given.
bool readCredentials(const std::string& path, std::vector<Credential>& credentials, std::string& error);

} // namespace calidra
