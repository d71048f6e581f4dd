#include "server_options.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>

namespace calidra {
namespace {

bool parseNumber(const char* text, int minimum, int maximum, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < minimum || parsed > maximum)
        return false;
    value = int(parsed);
    return true;
}

bool isLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(ipv4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&ipv6->sin6_addr))
            return true;
        // ::ffff:127.x.y.z reaches the IPv4 loopback.
        return IN6_IS_ADDR_V4MAPPED(&ipv6->sin6_addr) && ipv6->sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

} // namespace

OptionsOutcome parseServerOptions(int argc, const char* const* argv, ServerOptions& options,
                                  std::string& error) {
    if (argc < 3 || !parseNumber(argv[1], 1, 65535, options.width) ||
        !parseNumber(argv[2], 1, 65535, options.height))
        return OptionsOutcome::Usage;
    for (int index = 3; index < argc; ++index) {
        const std::string option = argv[index];
        const bool hasValue = index + 1 < argc;
        if (option == "--jpeg-dir" && hasValue)
            options.jpegFolder = argv[++index];
        else if (option == "--every" && hasValue && parseNumber(argv[index + 1], 1, 65535, options.jpegEvery))
            ++index;
        else if (option == "--port" && hasValue && parseNumber(argv[index + 1], 0, 65535, options.rtspPort))
            ++index;
        else if (option == "--http" && hasValue && parseNumber(argv[index + 1], 0, 65535, options.httpPort))
            ++index;
        else if (option == "--bind" && hasValue)
            options.bindAddress = argv[++index];
        else if (option == "--auth" && hasValue)
            options.authFile = argv[++index];
        else if (option == "--anonymous")
            options.anonymous = true;
        else
            return OptionsOutcome::Usage;
    }
    if (options.authFile.empty() && !options.anonymous && !isLoopbackAddress(options.bindAddress)) {
        error = "refusing to publish the picture on " + options.bindAddress +
                " without --auth FILE: it shows people at the door. Give --auth, or --anonymous to "
                "publish it to anyone who can reach that address.";
        return OptionsOutcome::Refused;
    }
    return OptionsOutcome::Ready;
}

bool isLoopbackAddress(const std::string& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (address.empty() || ::getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0)
        return false;
    bool loopback = found != nullptr;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next)
        loopback = loopback && isLoopback(entry->ai_addr);
    ::freeaddrinfo(found);
    return loopback;
}

bool readCredentials(const std::string& path, std::vector<Credential>& credentials, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    credentials.clear();
    std::string line;
    for (int lineNumber = 1; std::getline(file, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == line.size()) {
            error = path + ":" + std::to_string(lineNumber) + ": expected user:password";
            return false;
        }
        credentials.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    if (credentials.empty()) {
        error = path + " holds no user:password line";
        return false;
    }
    return true;
}

} // namespace calidra
