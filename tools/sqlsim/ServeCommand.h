#pragma once
// sqlsim serve <server> [--port N] [--folder DIR]: the simulated server behind a
// TDS endpoint on 127.0.0.1. Prints "Listening on 127.0.0.1:<port>" and serves
// until it is ended.
int ServeCommand(int argc, char** argv);
