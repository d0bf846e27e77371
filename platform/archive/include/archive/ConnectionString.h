#pragma once
// Connection strings of the archive in their provider form:
//   Provider=Microsoft.Jet.OLEDB.4.0;Data Source=...;User ID=...;Password=...;
//   Jet OLEDB:System Database=...
// Keys are case-insensitive; a value may be quoted with " or ' (a doubled quote
// inside stands for one).
#include <map>
#include <string>
#include <string_view>

namespace vx::archive {

class ConnectionString {
 public:
  // Raises ComError kArchiveConnectionString for a malformed string.
  static ConnectionString Parse(std::string_view text);

  // Empty when the key is absent.
  std::string Get(std::string_view key) const;
  bool Has(std::string_view key) const;

  std::string DataSource() const { return Get("Data Source"); }
  std::string UserId() const { return Get("User ID"); }
  std::string Password() const { return Get("Password"); }
  std::string SystemDatabase() const { return Get("Jet OLEDB:System Database"); }
  bool EncryptDatabase() const;  // "Jet OLEDB:Encrypt Database=True"

 private:
  std::map<std::string, std::string> values_;  // lower-case key -> value
};

// A value quoted for a connection string when it holds ';', quotes or outer blanks.
std::string QuoteConnectionValue(std::string_view value);

}  // namespace vx::archive
