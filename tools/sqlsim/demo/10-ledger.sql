-- Ledger: bookkeeping sample schema.
CREATE TABLE dbo.Accounts (AccountId int NOT NULL PRIMARY KEY, Name nvarchar(100) NOT NULL, ClassNo tinyint NOT NULL)
GO
CREATE TABLE dbo.Entries (EntryId int IDENTITY(1,1) PRIMARY KEY, AccountId int NOT NULL, Period char(6) NOT NULL,
  ClassNo tinyint NOT NULL, Amount money NOT NULL, Memo nvarchar(200) NULL)
GO
CREATE TABLE dbo.Balances (AccountId int NOT NULL, ClassNo tinyint NOT NULL, Amount money NOT NULL)
GO
CREATE TABLE [dbo].[Audit Trail] ([When] datetime NOT NULL, [Who] sysname NOT NULL, [What] nvarchar(400) NULL)
GO
-- Lists the accounts of one class.
CREATE PROCEDURE dbo.AccountList @ClassNo tinyint = NULL
AS
SELECT AccountId, Name FROM dbo.Accounts WHERE @ClassNo IS NULL OR ClassNo = @ClassNo ORDER BY Name
GO
/* Posting of one entry.
   /* nested: the audit row is written by the trigger */
*/
CREATE PROCEDURE dbo.PostEntry
    @AccountId int,
    @Period char(6),
    @Amount money,
    @Memo nvarchar(200) = N'Bücher für Müller'
AS
BEGIN
    INSERT dbo.Entries (AccountId, Period, ClassNo, Amount, Memo)
    SELECT AccountId, @Period, ClassNo, @Amount, @Memo FROM dbo.Accounts WHERE AccountId = @AccountId
    IF @@ROWCOUNT = 0 RAISERROR ('No account %d', 16, 1, @AccountId)
END
GO
CREATE PROCEDURE dbo.TrialBalance @Period char(6)
WITH RECOMPILE
AS
SELECT a.Name, SUM(e.Amount) AS Total
FROM dbo.Accounts a JOIN dbo.Entries e ON e.AccountId = a.AccountId
WHERE e.Period <= @Period
GROUP BY a.Name
GO
CREATE PROCEDURE [dbo].[Close Period] @Period char(6)
AS
-- a name with a space
EXEC dbo.MonthEndPosting @Period
GO
/*
  MonthEndPosting: month-end posting, one block per account class.
  Generated layout, kept long on purpose.
*/
CREATE PROCEDURE dbo.MonthEndPosting
    @Period char(6),
    @DryRun bit = 0
AS
SET NOCOUNT ON
-- block 1: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 2: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 3: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 4: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 5: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 6: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 7: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 8: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 9: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 10: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 11: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 12: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 13: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 14: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 15: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 16: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 17: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 18: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 19: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 20: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 21: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 22: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 23: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 24: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 25: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 26: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 27: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 28: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 29: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 30: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 31: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 32: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 33: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 34: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 35: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 36: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 37: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 38: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
RETURN 0
GO
/*
  QuarterEndPosting: month-end posting, one block per account class.
  Generated layout, kept long on purpose.
*/
CREATE PROCEDURE accounts.QuarterEndPosting
    @Period char(6),
    @DryRun bit = 0
AS
SET NOCOUNT ON
-- block 1: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 2: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 3: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 4: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 5: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 6: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 7: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 8: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 9: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 10: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 11: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 12: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
-- block 13: class 5
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 5)
WHERE ClassNo = 5 AND @DryRun = 0
-- block 14: class 6
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 6)
WHERE ClassNo = 6 AND @DryRun = 0
-- block 15: class 7
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 7)
WHERE ClassNo = 7 AND @DryRun = 0
-- block 16: class 8
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 8)
WHERE ClassNo = 8 AND @DryRun = 0
-- block 17: class 9
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 9)
WHERE ClassNo = 9 AND @DryRun = 0
-- block 18: class 1
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 1)
WHERE ClassNo = 1 AND @DryRun = 0
-- block 19: class 2
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 2)
WHERE ClassNo = 2 AND @DryRun = 0
-- block 20: class 3
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 3)
WHERE ClassNo = 3 AND @DryRun = 0
-- block 21: class 4
UPDATE dbo.Balances SET Amount = Amount + (SELECT ISNULL(SUM(e.Amount), 0) FROM dbo.Entries e WHERE e.AccountId = dbo.Balances.AccountId AND e.Period = @Period AND e.ClassNo = 4)
WHERE ClassNo = 4 AND @DryRun = 0
RETURN 0
GO
CREATE PROCEDURE accounts.ReconcileBank @Statement int
AS
SELECT @Statement AS StatementNo, COUNT(*) AS Lines FROM dbo.Entries
GO
CREATE PROCEDURE dbo.ReplicateEntries @Since datetime
FOR REPLICATION
AS
SELECT * FROM dbo.Entries WHERE EntryId > 0
GO
SET QUOTED_IDENTIFIER OFF
GO
CREATE PROCEDURE dbo.LegacyReport
AS
SELECT "Report of " + CONVERT(varchar(20), GETDATE(), 112) AS Title
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE VIEW dbo.AccountTotals
AS
SELECT a.AccountId, a.Name, SUM(e.Amount) AS Total
FROM dbo.Accounts a LEFT JOIN dbo.Entries e ON e.AccountId = a.AccountId
GROUP BY a.AccountId, a.Name
GO
CREATE VIEW dbo.BoundAccounts
WITH SCHEMABINDING
AS
SELECT AccountId, Name, ClassNo FROM dbo.Accounts
GO
CREATE VIEW [dbo].[Open Entries] (AccountId, Amount)
AS
SELECT AccountId, Amount FROM dbo.Entries WHERE Period >= '200401'
WITH CHECK OPTION
GO
CREATE TRIGGER dbo.trEntriesAudit ON dbo.Entries
FOR INSERT, UPDATE
AS
INSERT [dbo].[Audit Trail] ([When], [Who], [What])
SELECT GETDATE(), SUSER_SNAME(), N'Entry ' + CONVERT(nvarchar(12), EntryId) FROM inserted
GO
CREATE TRIGGER trAccountsNoDelete ON Accounts
AFTER DELETE
AS
IF EXISTS (SELECT * FROM deleted)
BEGIN
    RAISERROR ('Accounts are never deleted.', 16, 1)
    ROLLBACK TRANSACTION
END
GO
CREATE FUNCTION dbo.fnClassName (@ClassNo tinyint)
RETURNS nvarchar(40)
AS
BEGIN
    RETURN CASE @ClassNo WHEN 1 THEN N'Assets' WHEN 2 THEN N'Liabilities' ELSE N'Other' END
END
GO
CREATE FUNCTION dbo.fnEntriesOf (@AccountId int)
RETURNS TABLE
AS
RETURN (SELECT EntryId, Period, Amount FROM dbo.Entries WHERE AccountId = @AccountId)
GO
CREATE FUNCTION dbo.fnPeriodTotals (@Period char(6))
RETURNS @Totals TABLE (AccountId int PRIMARY KEY, Total money)
WITH SCHEMABINDING
AS
BEGIN
    INSERT @Totals SELECT AccountId, SUM(Amount) FROM dbo.Entries WHERE Period = @Period GROUP BY AccountId
    RETURN
END
GO
CREATE PROCEDURE dbo.ArchivedSecret
WITH ENCRYPTION
AS
SELECT 'already encrypted before Vexilon'
GO
