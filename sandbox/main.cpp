// rowlark-sandbox: a small SQL Server stand-in for tests and the demo.
#include "demo.h"
#include "server.h"

#include <csignal>
#include <cstdlib>
#include <iostream>

namespace {

sandbox::Server* gServer = nullptr;

void onSignal(int) {
    if (gServer) gServer->stop();
}

int usage(const char* why) {
    if (why) std::cerr << "rowlark-sandbox: " << why << "\n";
    std::cerr
        << "usage: rowlark-sandbox --data DIR [--port N] [--user NAME] --password PW [--demo]\n"
           "  Serves SQL Server's protocol (TDS 7.x) on 127.0.0.1 with SQLite underneath.\n"
           "  --data DIR      folder with one store file per database (created if missing)\n"
           "  --port N        port to listen on; 0 (the default) picks a free one\n"
           "  --user NAME     the one login (default sa)\n"
           "  --password PW   its password (or the environment variable ROWLARK_SANDBOX_PASSWORD)\n"
           "  --demo          create the database Demo with tables full of duplicates\n"
           "Prints 'listening on 127.0.0.1:PORT' once ready; ends on SIGTERM or SIGINT.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string data;
    int port = 0;
    bool demo = false;
    sandbox::Credentials credentials;
    bool havePassword = false;
    if (const char* env = std::getenv("ROWLARK_SANDBOX_PASSWORD"))
        credentials.password = env, havePassword = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
            return argv[++i];
        };
        try {
            if (a == "--data")
                data = value();
            else if (a == "--port")
                port = std::stoi(value());
            else if (a == "--user")
                credentials.user = value();
            else if (a == "--password")
                credentials.password = value(), havePassword = true;
            else if (a == "--demo")
                demo = true;
            else if (a == "--help" || a == "-h")
                return usage(nullptr), 0;
            else
                return usage(("unknown option " + a).c_str());
        } catch (const std::exception& e) {
            return usage(e.what());
        }
    }
    if (data.empty()) return usage("--data is required");
    if (!havePassword) return usage("--password is required");
    if (port < 0 || port > 65535) return usage("--port must be between 0 and 65535");
    try {
        sandbox::Store store(data);
        if (demo) sandbox::createDemo(store);
        sandbox::Server server(store, credentials);
        int bound = server.listen(port);
        gServer = &server;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        std::cout << "listening on 127.0.0.1:" << bound << std::endl;
        server.serve();
        gServer = nullptr;
    } catch (const sandbox::SqlError& e) {
        std::cerr << "rowlark-sandbox: " << e.message << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "rowlark-sandbox: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
