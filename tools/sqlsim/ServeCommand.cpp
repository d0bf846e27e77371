#include "ServeCommand.h"

#include <iostream>
#include <memory>
#include <string>

#include "automation/ComError.h"
#include "sqlserver_sim/SimServer.h"
#include "sqlserver_tds/TdsListener.h"

int ServeCommand(int argc, char** argv) {
  std::string server, folder;
  int port = 1433;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--port" || a == "--folder") && i + 1 < argc) {
      const std::string v = argv[++i];
      if (a == "--folder") {
        folder = v;
        continue;
      }
      // Digits only: "0x9" or "14x3" is no port.
      port = v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ? -1 : std::stoi(v);
      if (port < 0 || port > 65535) {
        std::cerr << "sqlsim: --port takes a number from 0 to 65535\n";
        return 2;
      }
    } else if (!a.empty() && a[0] != '-' && server.empty()) {
      server = a;
    } else {
      std::cerr << "usage: sqlsim serve <server> [--port N] [--folder DIR]\n";
      return 2;
    }
  }
  if (server.empty()) {
    std::cerr << "usage: sqlsim serve <server> [--port N] [--folder DIR]\n";
    return 2;
  }
  try {
    const auto sim = vx::sqlsim::SimServer::Open(server, folder);
    vx::tds::TdsListener listener(std::make_shared<vx::sqlsim::SimSessionFactory>(sim.Folder()), sim.Name(),
                                  static_cast<uint16_t>(port));
    std::cout << "Listening on 127.0.0.1:" << listener.Port() << std::endl;
    listener.Run();
    return 0;
  } catch (const vx::ComError& e) {
    std::cerr << "sqlsim: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
}
