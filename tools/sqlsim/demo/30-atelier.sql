-- Atelier: workshop sample schema.
CREATE TABLE dbo.Orders (OrderId int PRIMARY KEY, Customer nvarchar(100) NOT NULL, Due datetime NULL)
GO
CREATE TABLE dbo.Pieces (PieceId int PRIMARY KEY, OrderId int NOT NULL, Material nvarchar(40) NOT NULL,
  Hours decimal(6,2) NOT NULL)
GO
CREATE PROCEDURE dbo.OpenOrders
AS
SELECT OrderId, Customer, Due FROM dbo.Orders WHERE Due >= GETDATE() ORDER BY Due
GO
CREATE PROCEDURE dbo.AddPiece @OrderId int, @Material nvarchar(40), @Hours decimal(6,2)
AS
INSERT dbo.Pieces (PieceId, OrderId, Material, Hours)
SELECT ISNULL(MAX(PieceId), 0) + 1, @OrderId, @Material, @Hours FROM dbo.Pieces
GO
SET ANSI_NULLS OFF
GO
CREATE PROCEDURE dbo.OrdersWithoutDue
AS
SELECT OrderId FROM dbo.Orders WHERE Due = NULL
GO
SET ANSI_NULLS ON
GO
CREATE PROCEDURE dbo.[Workload by Material] @From datetime, @To datetime
AS
SELECT p.Material, SUM(p.Hours) AS Hours
FROM dbo.Pieces p JOIN dbo.Orders o ON o.OrderId = p.OrderId
WHERE o.Due BETWEEN @From AND @To
GROUP BY p.Material
GO
CREATE PROCEDURE dbo.Invoice @OrderId int
AS
-- Rechnung für Frau Ångström; 請求書
SELECT o.Customer, SUM(p.Hours) * 85 AS Amount
FROM dbo.Orders o JOIN dbo.Pieces p ON p.OrderId = o.OrderId
WHERE o.OrderId = @OrderId
GROUP BY o.Customer
GO
CREATE VIEW dbo.OrderHours
AS
SELECT o.OrderId, o.Customer, SUM(p.Hours) AS Hours
FROM dbo.Orders o JOIN dbo.Pieces p ON p.OrderId = o.OrderId
GROUP BY o.OrderId, o.Customer
GO
CREATE VIEW dbo.OakPieces
WITH ENCRYPTION
AS
SELECT PieceId, OrderId FROM dbo.Pieces WHERE Material = N'Oak'
GO
CREATE TRIGGER dbo.trPiecesHours ON dbo.Pieces
FOR INSERT
AS
IF EXISTS (SELECT * FROM inserted WHERE Hours <= 0)
BEGIN
    RAISERROR ('Hours must be positive.', 16, 1)
    ROLLBACK TRAN
END
GO
CREATE FUNCTION dbo.fnOrderHours (@OrderId int)
RETURNS decimal(8,2)
AS
BEGIN
    RETURN (SELECT SUM(Hours) FROM dbo.Pieces WHERE OrderId = @OrderId)
END
GO
CREATE FUNCTION dbo.fnPiecesOf (@OrderId int)
RETURNS TABLE
WITH ENCRYPTION
AS
RETURN (SELECT PieceId, Material, Hours FROM dbo.Pieces WHERE OrderId = @OrderId)
GO
