-- Demo server: databases, logins and users.
-- Runs as sa in master.
CREATE DATABASE Ledger
GO
CREATE DATABASE Harbour
GO
CREATE DATABASE Atelier
GO
EXEC sp_addlogin N'vexilon_admin', N'vexilon', N'Ledger'
EXEC sp_addsrvrolemember N'vexilon_admin', N'sysadmin'
EXEC sp_addlogin N'clerk', N'clerk', N'Ledger'
EXEC sp_addlogin N'builder', N'builder', N'Harbour'
EXEC sp_addlogin N'reader', N'reader', N'Atelier'
GO
USE Ledger
GO
EXEC sp_adduser N'clerk', N'clerk', N'db_owner'
EXEC sp_adduser N'builder', N'builder', N'db_ddladmin'
EXEC sp_adduser N'reader', N'reader'
-- a user without a login that owns objects
EXEC sp_adduser NULL, N'accounts'
EXEC sp_addrolemember N'db_ddladmin', N'accounts'
GO
USE Harbour
GO
EXEC sp_adduser N'builder', N'builder', N'db_ddladmin'
EXEC sp_adduser N'reader', N'reader'
EXEC sp_adduser NULL, N'shipping'
EXEC sp_addrolemember N'db_ddladmin', N'shipping'
EXEC sp_grantdbaccess N'guest'
GO
USE Atelier
GO
EXEC sp_adduser N'reader', N'reader'
EXEC sp_adduser N'clerk', N'clerk'
GO
