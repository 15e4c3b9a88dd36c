// The display check before Qt starts (see display.h).
#include "display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gui {

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool connects(const std::string& path, bool abstract)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;  // an abstract name starts with a NUL byte
    if (path.size() + offset >= sizeof addr.sun_path) {
        ::close(fd);
        return false;
    }
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    const auto len = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0;
    ::close(fd);
    return ok;
}

// ":0", ":1.0", "unix:0" reach the local server's socket; a display on
// another host ("host:0") is left for Qt to try.
bool xDisplayAnswers(const std::string& display)
{
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix")
        return true;
    if (!display.empty() && display[0] == '/')  // a socket path (as macOS's launchd gives)
        return connects(display.substr(0, colon), false);
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::string path = "/tmp/.X11-unix/X" + number;
    return connects(path, true) || connects(path, false);
}

}  // namespace

bool displayAvailable()
{
    const std::string platform = env("QT_QPA_PLATFORM");
    const std::string display = env("DISPLAY");
    const bool wayland = !env("WAYLAND_DISPLAY").empty();
    if (platform.rfind("xcb", 0) == 0)
        return !display.empty() && xDisplayAnswers(display);
    if (platform.rfind("wayland", 0) == 0)
        return wayland;
    if (!platform.empty())
        return true;  // offscreen, minimal, vnc, eglfs, ...: no display needed
    return wayland || (!display.empty() && xDisplayAnswers(display));
}

}  // namespace gui
