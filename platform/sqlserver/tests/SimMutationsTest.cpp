// Statements a client sends, bent token by token: whatever the simulated
// server answers, its messages speak of what the batch wrote, never of the SQL
// it was translated to, SQLite or C++.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "support/SimFixture.h"

namespace {

const std::vector<std::string> kSeeds{
    "SELECT name, id FROM sysobjects WHERE xtype = 'P' AND name LIKE 'a%' ORDER BY name",
    "SELECT o.name, c.text FROM sysobjects o JOIN syscomments c ON c.id = o.id WHERE o.id = OBJECT_ID('dbo.p')",
    "SELECT COUNT(*), MAX(crdate) FROM sysobjects GROUP BY xtype HAVING COUNT(*) > 1",
    "SELECT CAST('2024-02-09 13:05:07.123' AS datetime) + 1, CONVERT(varchar(30), GETDATE(), 121)",
    "SELECT LEN('abc  '), SUBSTRING('abcdef', 2, 3), LEFT('abc', 2) + RIGHT('xyz', 1), CHARINDEX('b', 'abc')",
    "SELECT ISNULL(NULL, 'x'), COALESCE(NULL, 1, 2), NULLIF(1, 1), UPPER('a') + LOWER('B')",
    "SELECT CASE WHEN 1 = 1 THEN 'a' ELSE 'b' END, 7 / 2, 7 % 3, -(1 + 2) * 3",
    "SELECT DATALENGTH(0x0102), CAST(258 AS binary(2)), REPLACE('aXbX', 'X', 'y')",
    "IF EXISTS (SELECT * FROM sysobjects WHERE name = 'x') PRINT 'yes' ELSE PRINT 'no'",
    "SELECT name FROM sysusers WHERE uid IN (SELECT uid FROM sysobjects) UNION SELECT 'x'",
    "SELECT TOP 3 id FROM sysobjects WHERE id > 0 AND NOT (id < 5) ORDER BY id DESC",
    "SELECT OBJECTPROPERTY(id, 'IsEncrypted'), USER_NAME(uid), DB_NAME() FROM sysobjects",
    "EXEC sp_helptext 'p'",
    "BEGIN TRAN SELECT @@TRANCOUNT COMMIT",
};

// Tokens a mutation inserts: keywords, operators, literals and SQLite's own words.
const std::vector<std::string> kVocabulary{
    "SELECT", "FROM",  "WHERE", "(",    ")",        ",",     "+",     "-",    "*",   "/",   "=",  "<>",
    "'x'",    "N'y'",  "1",     "2.5",  "NULL",     "AS",    "CASE",  "WHEN", "END", "AND", "OR", "NOT",
    "IN",     "LIKE",  "ORDER", "BY",   "GROUP",    "UNION", "ALL",   "TOP",  "IS",  "ON",  "[a]", "@@SPID",
    "LIMIT",  "GLOB",  "||",    "IFNULL", "OFFSET", "CAST",  "int",   "0x1F", "LEN", "==",  ";",  "ESCAPE"};

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ') {
      ++i;
    } else if (s[i] == '\'') {
      size_t e = s.find('\'', i + 1);
      e = e == std::string::npos ? s.size() : e + 1;
      out.push_back(s.substr(i, e - i));
      i = e;
    } else if (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '@' || s[i] == '.') {
      size_t e = i;
      while (e < s.size() && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '_' || s[e] == '@' || s[e] == '.')) ++e;
      out.push_back(s.substr(i, e - i));
      i = e;
    } else {
      out.push_back(s.substr(i++, 1));
    }
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class SimMutations : public SimFixture {};

TEST_F(SimMutations, NoMessageShowsTheTranslationSqliteOrCpp) {
  Run("CREATE PROCEDURE p AS SELECT 1");
  auto session = server_->OpenSession(Login("sa"), "Sales");
  // Words only the translation, SQLite or the C++ library write, unless the batch did.
  const std::vector<std::string> inside{"VX_", "IFNULL", "LIMIT", "SQLITE", ": SYNTAX ERROR", "NEAR \"", "STD::",
                                        "BASIC_STRING", "BAD_ALLOC", "NO SUCH", "MAIN.", "GLOB", "OFFSET",
                                        "TEMP.", "PARSER STACK", "COLLATE VX"};
  std::mt19937 random(34);
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::string> t = Split(kSeeds[random() % kSeeds.size()]);
    for (int edits = 1 + static_cast<int>(random() % 3); edits > 0 && !t.empty(); --edits) {
      const size_t at = random() % t.size();
      switch (random() % 4) {
        case 0: t.erase(t.begin() + static_cast<long>(at)); break;
        case 1: t.insert(t.begin() + static_cast<long>(at), kVocabulary[random() % kVocabulary.size()]); break;
        case 2: t[at] = kVocabulary[random() % kVocabulary.size()]; break;
        default: std::swap(t[at], t[(at + 1) % t.size()]); break;
      }
    }
    std::string batch;
    for (const auto& w : t) batch += w + " ";
    const std::string written = Upper(batch);
    for (const auto& m : session->Execute(batch).messages) {
      const std::string text = Upper(m.text);
      for (const auto& word : inside)
        if (text.find(word) != std::string::npos && written.find(word) == std::string::npos)
          ADD_FAILURE() << batch << "\n  -> " << m.number << " " << m.text;
    }
  }
}

}  // namespace
