// Stand-in for the progress window (Kestrun): listens on 127.0.0.1 at the
// port of the user's port file ($TEMP or /tmp, then $USER or the login
// name, then .NamedPipe), accepts any number of connections and appends
// every line it receives to $KOMBRA_STANDIN_WINDOW_LOG; appends its process
// id to $KOMBRA_STANDIN_PIDFILE.
// With $KOMBRA_STANDIN_TELL set it first sends that text to each client (a
// window on the default port naming another).  Ends after
// $KOMBRA_STANDIN_IDLE_MS (default 10000) without connections or traffic,
// or on SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

int main()
{
    const char *temp = std::getenv("TEMP");
    const char *user = std::getenv("USER");
    if (user == nullptr) {
        const passwd *pw = getpwuid(geteuid());
        user = pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "unknown";
    }
    const std::string file = std::string(temp != nullptr ? temp : "/tmp") + "/" + user + ".NamedPipe";
    std::ifstream in(file);
    int port = 0;
    if (!(in >> port) || port < 1 || port > 65535)
        return 2;
    const int idle_ms = std::getenv("KOMBRA_STANDIN_IDLE_MS") ? std::atoi(std::getenv("KOMBRA_STANDIN_IDLE_MS")) : 10000;
    const char *log = std::getenv("KOMBRA_STANDIN_WINDOW_LOG");
    const char *tell = std::getenv("KOMBRA_STANDIN_TELL");

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 16) != 0)
        return 3;
    if (const char *pids = std::getenv("KOMBRA_STANDIN_PIDFILE")) {
        std::ofstream out(pids, std::ios::app);
        out << getpid() << "\n";
    }

    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    std::map<int, std::string> pending;
    for (;;) {
        if (poll(fds.data(), fds.size(), idle_ms) <= 0)
            return 0;
        for (size_t i = fds.size(); i-- > 0;) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            if (fds[i].fd == listener) {
                const int client = accept(listener, nullptr, nullptr);
                if (client >= 0) {
                    if (tell != nullptr)
                        (void)!write(client, tell, std::string(tell).size());
                    fds.push_back({client, POLLIN, 0});
                }
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            std::string &text = pending[fds[i].fd];
            if (n > 0)
                text.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = text.find('\n')) != std::string::npos;) {
                if (log != nullptr) {
                    std::ofstream out(log, std::ios::app);
                    out << text.substr(0, end + 1);
                }
                text.erase(0, end + 1);
            }
            if (n <= 0) {
                close(fds[i].fd);
                pending.erase(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
            }
        }
    }
}
