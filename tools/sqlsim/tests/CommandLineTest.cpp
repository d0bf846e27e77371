// The sqlsim tool as a user runs it: exit status, standard output and standard
// error of each command line, in a fresh folder holding the server "CLI".
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

struct CliRow {
  const char* name;
  const char* command;  // shell text; $SQLSIM is the tool, the folder is the working directory
  int status;
  const char* out;  // expected in standard output ("" = anything)
  const char* err;  // expected in standard error ("" = must be empty)
};
void PrintTo(const CliRow& row, std::ostream* os) { *os << row.name; }

const CliRow kRows[] = {
    {"help command", "$SQLSIM help", 0, "usage:", ""},
    {"long help option", "$SQLSIM --help", 0, "usage:", ""},
    {"short help option", "$SQLSIM -h", 0, "sqlsim run", ""},
    {"no command", "$SQLSIM", 2, "", "usage:"},
    {"version not a number", "$SQLSIM create NEW --version abc", 2, "", "--version"},
    {"version negative", "$SQLSIM create NEW --version -3", 2, "", "not '-3'"},
    {"version accepted", "$SQLSIM create NEW --version 7", 0, "Created simulated server 'NEW'", ""},
    {"query runs", "$SQLSIM run CLI -U sa -P pw -Q 'select 1 AS one'", 0, "(1 row affected)", ""},
    {"script is a folder", "mkdir scripts && $SQLSIM run CLI -U sa -P pw -i scripts", 1, "", "scripts: it is a folder"},
    {"script missing", "$SQLSIM run CLI -U sa -P pw -i missing.sql", 1, "", "cannot read missing.sql"},
    {"list", "$SQLSIM list", 0, "CLI\n", ""},
    {"serve port not a number", "$SQLSIM serve CLI --port 0x9", 2, "", "--port takes a number"},
    {"serve with no server", "$SQLSIM serve", 2, "", "usage: sqlsim serve"},
    {"list of a missing folder", "$SQLSIM list --folder nowhere", 1, "", "there is no folder nowhere"},
    {"list with a corrupt file", "head -c 5000 /dev/zero | tr '\\0' z > servers/broken.sqlsim && $SQLSIM list", 1,
     "CLI\n", "broken.sqlsim"},
    {"script leaves a transaction open",
     "printf 'BEGIN TRAN\\nGO\\nCREATE PROCEDURE InTran AS select 1\\n' > open.sql && "
     "$SQLSIM run CLI -U sa -P pw -i open.sql; echo \"status $?\"; "
     "$SQLSIM run CLI -U sa -P pw -Q \"SELECT COUNT(*) AS left_over FROM sysobjects WHERE name = 'InTran'\"",
     0, "status 1\nleft_over\n0\n", "open transaction (@@TRANCOUNT 1); it was rolled back"},
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class CommandLine : public ::testing::TestWithParam<CliRow> {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("vxcli-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_ / "servers");
    setenv("VEXILON_SIM_DIR", (dir_ / "servers").c_str(), 1);
    setenv("SQLSIM", VX_SQLSIM_EXE, 1);
    ASSERT_EQ(Shell("$SQLSIM create CLI -P pw"), 0) << err_;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  int Shell(const std::string& command) {
    std::ofstream(dir_ / "cmd.sh") << command << "\n";
    std::string line = "cd '" + dir_.string() + "' && sh cmd.sh > out.txt 2> err.txt";
    int raw = std::system(line.c_str());
    out_ = ReadAll(dir_ / "out.txt");
    err_ = ReadAll(dir_ / "err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  fs::path dir_;
  std::string out_, err_;
};

}  // namespace

TEST_P(CommandLine, ExitStatusAndOutput) {
  const CliRow& row = GetParam();
  EXPECT_EQ(Shell(row.command), row.status) << "out: " << out_ << "\nerr: " << err_;
  EXPECT_NE(out_.find(row.out), std::string::npos) << out_;
  if (*row.err) {
    EXPECT_NE(err_.find(row.err), std::string::npos) << err_;
  } else {
    EXPECT_EQ(err_, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLine, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<CliRow>& info) {
                           std::string n;
                           for (char c : std::string(info.param.name))
                             n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return n;
                         });
