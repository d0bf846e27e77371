// Times ColourSQL on 1 MB and 10 MB of T-SQL and each rewriter on a 500 KB
// definition, and shows how the times grow with the text's length; then the
// procedure and view rewrites on their hardest shape, "[a] " repeated.
//   vx_bench_parse                      every measurement
//   vx_bench_parse brackets KIND MB     one run of that shape (KIND procedure or
//                                       view), for a peak-memory reading with
//                                       /usr/bin/time -v
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "syntax_colourer/SyntaxColourer.h"
#include "vexilon_lib/basParse.h"

namespace {

// Statements as stored procedures hold them: comments, strings, brackets,
// variables, numbers, nested comments, types.
const char* const kStatements[] = {
    "    -- running totals per customer\r\n"
    "    SELECT c.[Customer ID], c.CompanyName, SUM(od.UnitPrice * od.Quantity) AS Total\r\n"
    "    FROM dbo.Customers c WITH (NOLOCK)\r\n"
    "    JOIN dbo.[Order Details] od ON od.CustomerID = c.[Customer ID]\r\n"
    "    WHERE c.Region = N'North''West' AND od.Discount < 0.25e0\r\n"
    "    GROUP BY c.[Customer ID], c.CompanyName\r\n",
    "    /* keep the audit trail /* even when nested */ for every row */\r\n"
    "    INSERT INTO dbo.Audit (CreatedBy, ProcName, Happened, Note)\r\n"
    "    VALUES (SUSER_SNAME(), OBJECT_NAME(@@PROCID), GETDATE(), 'step ' + CAST(@step AS varchar(10)))\r\n",
    "    IF @@ERROR <> 0 OR @rows = -2147483648\r\n"
    "    BEGIN\r\n"
    "        RAISERROR ('Failed: %s', 16, 1, @name)\r\n"
    "        RETURN -1\r\n"
    "    END\r\n",
    "    DECLARE @id uniqueidentifier, @t datetime, @n nvarchar(4000), @b bigint\r\n"
    "    SET @t = DATEADD(day, -30, GETDATE())\r\n"
    "    UPDATE #work SET flag = 1 WHERE created < @t AND x / 2 * 3 >= 0x1F\r\n",
};

std::string Body(std::size_t bytes) {
  std::string body;
  std::size_t i = 0;
  while (body.size() < bytes) body += kStatements[i++ % std::size(kStatements)];
  return body;
}

// The first run's time (cold memory) is kept in *first when asked for.
double BestMilliseconds(const std::function<std::size_t()>& run, int repeats, double* first = nullptr) {
  double best = 1e300;
  std::size_t sink = 0;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    sink += run();
    const auto stop = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(stop - start).count();
    if (r == 0 && first != nullptr) *first = ms;
    best = std::min(best, ms);
  }
  if (sink == 0) std::printf("(empty results)\n");
  return best;
}

struct Definition {
  const char* name;
  std::string (*rewrite)(std::string_view, std::string_view);
  std::string head;
  std::string tail;
};

constexpr std::size_t kMB = 1024 * 1024;

// A definition whose body is "[a] " repeated to the given size: every name is
// a run and, in the procedure rewrite, a token of its own.
std::string Brackets(bool procedure, std::size_t bytes) {
  std::string text = procedure ? "CREATE PROCEDURE dbo.big AS\r\nSELECT " : "CREATE VIEW dbo.big AS\r\nSELECT ";
  text.reserve(text.size() + bytes);
  while (text.size() < bytes) text += "[a] ";
  return text;
}

double BracketsMilliseconds(bool procedure, std::size_t mb, int repeats) {
  const std::string text = Brackets(procedure, mb * kMB);
  auto rewrite = procedure ? basParse::GenerateStoredProcedureEncryptionScript : basParse::GenerateViewEncryptionScript;
  return BestMilliseconds([&] { return rewrite(text, "big").size(); }, repeats);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "brackets") == 0) {
    const bool procedure = std::strcmp(argv[2], "procedure") == 0;
    const std::size_t mb = static_cast<std::size_t>(std::atoi(argv[3]));
    std::printf("%s, \"[a] \" x %zu MB: %.1f ms\n", procedure ? "procedure" : "view", mb,
                BracketsMilliseconds(procedure, mb, 1));
    return 0;
  }
  std::printf("ColourSQL (best of 5)\n");
  double perMB = 0;
  for (std::size_t mb : {1u, 10u}) {
    const std::string text = Body(mb * kMB);
    double first = 0;
    const double ms = BestMilliseconds([&] { return vx::SyntaxColourer().ColourSQL(text, 1).size(); }, 5, &first);
    if (mb == 1) perMB = ms;
    std::printf("  %2zu MB: %8.1f ms  (%.2f x the 1 MB time per MB; first run %.1f ms)\n", mb, ms, ms / mb / perMB,
                first);
  }

  {
    // The same text on one line: runs must not look past their own end.
    std::string text;
    while (text.size() < 10 * kMB) {
      text += "SELECT a.Name, b.[Order Id], N'x''y' FROM dbo.A a /* c */ WHERE a.v > 10 AND @p IS NULL ";
    }
    double first = 0;
    const double ms = BestMilliseconds([&] { return vx::SyntaxColourer().ColourSQL(text, 1).size(); }, 5, &first);
    std::printf("  10 MB of dense code on one line: %8.1f ms  (first run %.1f ms)\n", ms, first);
  }

  const Definition definitions[] = {
      {"stored procedure", basParse::GenerateStoredProcedureEncryptionScript,
       "CREATE PROCEDURE dbo.big @step int, @name sysname = NULL\r\nWITH RECOMPILE\r\nAS\r\nBEGIN\r\n", "END\r\n"},
      {"trigger", basParse::GenerateTriggerEncryptionScript,
       "CREATE TRIGGER dbo.big ON dbo.Orders FOR INSERT, UPDATE AS\r\nBEGIN\r\n", "END\r\n"},
      {"user defined function", basParse::GenerateUserDefinedFunctionEncryptionScript,
       "CREATE FUNCTION dbo.big (@step int)\r\nRETURNS @r TABLE (id int)\r\nAS\r\nBEGIN\r\n", "RETURN\r\nEND\r\n"},
      {"view", basParse::GenerateViewEncryptionScript, "CREATE VIEW dbo.big\r\nAS\r\n", ""},
  };
  std::printf("Rewriters (best of 5); time for 250 KB / 500 KB / 1 MB definitions\n");
  for (const Definition& d : definitions) {
    double times[3];
    const std::size_t sizes[3] = {250 * 1024, 500 * 1024, 1000 * 1024};
    for (int s = 0; s < 3; ++s) {
      const std::string text = d.head + Body(sizes[s]) + d.tail;
      times[s] = BestMilliseconds([&] { return d.rewrite(text, "big").size(); }, 5);
    }
    std::printf("  %-22s %7.1f / %7.1f / %7.1f ms  (1 MB / 500 KB = %.2f)\n", d.name, times[0], times[1],
                times[2], times[2] / times[1]);
  }
  std::printf("\"[a] \" repeated (best of 3); time for 1 MB / 8 MB\n");
  for (bool procedure : {true, false}) {
    const double one = BracketsMilliseconds(procedure, 1, 3);
    const double eight = BracketsMilliseconds(procedure, 8, 3);
    std::printf("  %-22s %8.1f / %8.1f ms  (8 MB / 1 MB = %.2f)\n", procedure ? "stored procedure" : "view", one,
                eight, eight / one);
  }
  return 0;
}
