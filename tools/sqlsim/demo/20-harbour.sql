-- Harbour: shipping sample schema.
CREATE TABLE dbo.Vessels (VesselId int PRIMARY KEY, Name nvarchar(80) NOT NULL, Flag char(2) NULL)
GO
CREATE TABLE dbo.Berths (BerthId int PRIMARY KEY, Quay nvarchar(40) NOT NULL)
GO
CREATE TABLE dbo.Calls (CallId int PRIMARY KEY, VesselId int NOT NULL, BerthId int NOT NULL, Arrival datetime NOT NULL,
  Departure datetime NULL)
GO
CREATE TABLE shipping.Manifests (ManifestId int PRIMARY KEY, CallId int NOT NULL, Cargo nvarchar(200) NOT NULL)
GO
-- Ærøskøbing, Tromsø, 東京: port names in the comments are not ASCII.
CREATE PROCEDURE dbo.VesselCalls @VesselId int
AS
SELECT c.CallId, b.Quay, c.Arrival, c.Departure
FROM dbo.Calls c JOIN dbo.Berths b ON b.BerthId = c.BerthId
WHERE c.VesselId = @VesselId
ORDER BY c.Arrival DESC
GO
CREATE PROCEDURE dbo.BerthVessel @VesselId int, @BerthId int, @Arrival datetime = NULL
WITH RECOMPILE, ENCRYPTION
AS
INSERT dbo.Calls (CallId, VesselId, BerthId, Arrival)
SELECT ISNULL(MAX(CallId), 0) + 1, @VesselId, @BerthId, ISNULL(@Arrival, GETDATE()) FROM dbo.Calls
GO
CREATE PROCEDURE dbo.DepartVessel @CallId int
AS
UPDATE dbo.Calls SET Departure = GETDATE() WHERE CallId = @CallId AND Departure IS NULL
GO
CREATE PROCEDURE shipping.ManifestLines @CallId int
AS
SELECT ManifestId, Cargo FROM shipping.Manifests WHERE CallId = @CallId
GO
CREATE PROCEDURE shipping.[Port Dues] @CallId int, @Rate money = 12.5
AS
SELECT @CallId AS CallId, DATEDIFF(hour, Arrival, ISNULL(Departure, GETDATE())) * @Rate AS Dues
FROM dbo.Calls WHERE CallId = @CallId
GO
CREATE PROCEDURE dbo.PurgeOldCalls;1 @Before datetime
AS
DELETE dbo.Calls WHERE Departure < @Before
GO
CREATE VIEW dbo.VesselsInPort
AS
SELECT v.Name, b.Quay, c.Arrival
FROM dbo.Calls c JOIN dbo.Vessels v ON v.VesselId = c.VesselId JOIN dbo.Berths b ON b.BerthId = c.BerthId
WHERE c.Departure IS NULL
GO
CREATE VIEW shipping.CargoByVessel
WITH VIEW_METADATA
AS
SELECT c.VesselId, m.Cargo FROM shipping.Manifests m JOIN dbo.Calls c ON c.CallId = m.CallId
GO
CREATE VIEW [dbo].[Quay Usage]
AS
/* counts calls per quay */
SELECT b.Quay, COUNT(*) AS Calls FROM dbo.Calls c JOIN dbo.Berths b ON b.BerthId = c.BerthId GROUP BY b.Quay
GO
CREATE TRIGGER dbo.trCallsCheck ON dbo.Calls
FOR INSERT, UPDATE
NOT FOR REPLICATION
AS
IF UPDATE(Departure)
    IF EXISTS (SELECT * FROM inserted WHERE Departure < Arrival)
        RAISERROR ('A vessel cannot leave before it arrives.', 16, 1)
GO
CREATE TRIGGER shipping.trManifestStamp ON shipping.Manifests
WITH ENCRYPTION
AFTER INSERT
AS
SELECT COUNT(*) FROM inserted
GO
CREATE TRIGGER trVesselsInstead ON dbo.Vessels
INSTEAD OF DELETE
AS
RAISERROR ('Vessels are kept for the record.', 10, 1)
GO
CREATE FUNCTION dbo.fnHoursInPort (@CallId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    DECLARE @h int
    SELECT @h = DATEDIFF(hour, Arrival, ISNULL(Departure, GETDATE())) FROM dbo.Calls WHERE CallId = @CallId
    RETURN @h
END
GO
CREATE FUNCTION shipping.fnCallsOf (@VesselId int)
RETURNS TABLE
AS
RETURN SELECT CallId, Arrival FROM dbo.Calls WHERE VesselId = @VesselId
GO
CREATE FUNCTION dbo.fnBusyBerths ()
RETURNS @b TABLE (BerthId int, Calls int)
AS
BEGIN
    INSERT @b SELECT BerthId, COUNT(*) FROM dbo.Calls GROUP BY BerthId
    RETURN
END
GO
