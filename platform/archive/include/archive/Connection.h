#pragma once
// A connection to the archive database. Opening authenticates the account of the
// connection string against the workgroup file, which also holds the database
// key; the archive opens only while that file exists. Connections of one process
// share the file; while one is open, another process cannot open it (raised as
// 0x80004005). Between calls the file is free for other processes. A closed
// connection is kept idle for the next call for about a second, then let go:
// its write-ahead log is folded into the file and removed, so that the file
// alone holds every committed row. Every access is a stored query run by name with its ordered,
// typed input parameters, checked against the query's declared parameters.
#include <memory>
#include <string>
#include <vector>

#include "archive/Parameter.h"
#include "archive/Recordset.h"

namespace vx::archive {

class Connection {
 public:
  explicit Connection(const std::string& connectionString);
  ~Connection();  // an open transaction is rolled back; the connection closed
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
  bool InTransaction() const;

  // A query that returns rows: every row fetched into a disconnected row set.
  Recordset OpenRecordset(const std::string& queryName, const std::vector<Parameter>& parameters = {});
  // A query that returns nothing.
  void Execute(const std::string& queryName, const std::vector<Parameter>& parameters = {});

  void Close();
  bool IsOpen() const;
  const std::string& Account() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx::archive
