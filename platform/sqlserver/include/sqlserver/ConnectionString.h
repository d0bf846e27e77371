#pragma once
// Connection strings of the catalogue access:
//   "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;User Id=u ;Password=p"
//   "Provider=SQLOLEDB;Data Source=srv;Initial Catalog=db;Integrated Security=SSPI"
// Keys are case-insensitive, keys and values are trimmed ("u " reads "u"). A value
// may be quoted with '"' or '\'' (a doubled quote inside stands for one), so a
// value holding ";" or quotes cannot inject other keys. "Server" and "Address"
// are read as Data Source, "Database" as Initial Catalog, "UID" as User Id,
// "PWD" as Password, "Trusted_Connection=yes" as integrated security.
#include <map>
#include <string>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

struct ConnectionString {
  std::string provider;
  std::string dataSource;
  std::string initialCatalog;
  std::string userId;
  std::string password;
  bool integratedSecurity = false;
  std::map<std::string, std::string> others;  // unknown keys, lower-cased

  // Raises ComError(err::kArchiveConnectionString, ...) for a malformed text
  // (a key without "=", an unterminated quote, text after a closing quote,
  // an empty key) and when Data Source is missing.
  static ConnectionString Parse(const std::string& text);
  // Writes the keys back, each value quoted as QuoteConnectionValue quotes it.
  std::string ToString() const;
  Credentials GetCredentials() const;
};

// Quotes a connection-string value when Parse would not read it back as it
// stands: when it holds ";" or a quote, or begins or ends with a blank, tab,
// carriage return or line feed.
std::string QuoteConnectionValue(const std::string& value);


}  // namespace vx::sqlserver
