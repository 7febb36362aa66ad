#include "demo.h"

#include "sql/engine.h"

namespace sandbox {
namespace {

class StrictSink : public ResultSink {
public:
    void error(const SqlError& e) override { throw e; }
};

const char* const kDemo = R"sql(
CREATE TABLE [Customers] (
    [Name] nvarchar(60) NOT NULL,
    [City] nvarchar(40) NULL,
    [Zip] varchar(10) NULL,
    [Email] nvarchar(80) NULL,
    [Since] date NULL
);
INSERT INTO [Customers] VALUES
    (N'Ann Berger', N'Zürich', '8001', N'ann@example.org', '2019-03-04'),
    (N'Bo Lindqvist', N'Malmö', '21120', N'bo@example.org', '2020-11-30'),
    (N'Ann Berger', N'Zürich', '8001', N'ann.b@example.org', '2021-01-15'),
    (N'陈伟', N'上海', '200000', N'chen@example.org', '2018-07-01'),
    (N'Dee O''Hara', NULL, NULL, NULL, NULL),
    (N'Bo Lindqvist', N'Malmö', '21120', N'bo@example.org', '2020-11-30'),
    (N'陈伟', N'上海', '200000', N'chen.wei@example.org', '2022-02-02'),
    (N'Dee O''Hara', N'', NULL, N'dee@example.org', NULL),
    (N'Émile Zola 🙂', N'Paris', '75001', N'emile@example.org', '2017-05-05'),
    (N'Ann Berger', N'zürich', '8001', N'ann@example.org', '2019-03-04');

CREATE TABLE [Orders] (
    [OrderId] int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    [Customer] nvarchar(60) NOT NULL,
    [Product] varchar(40) NOT NULL,
    [Quantity] smallint NOT NULL,
    [Price] decimal(10,2) NOT NULL,
    [Ordered] datetime NOT NULL
);
INSERT INTO [Orders] ([Customer], [Product], [Quantity], [Price], [Ordered]) VALUES
    (N'Ann Berger', 'Teapot', 1, 24.90, '2023-01-05 10:15:00'),
    (N'Bo Lindqvist', 'Kettle', 2, 39.50, '2023-01-06 09:00:00'),
    (N'Ann Berger', 'Teapot', 1, 24.90, '2023-01-05 10:15:00'),
    (N'陈伟', 'Cups (6)', 3, 12.00, '2023-02-01 14:30:00'),
    (N'Ann Berger', 'Teapot', 1, 24.90, '2023-01-05 10:15:00'),
    (N'Bo Lindqvist', 'Kettle', 1, 39.50, '2023-01-06 09:00:00'),
    (N'陈伟', 'Cups (6)', 3, 12.00, '2023-02-01 14:30:00');

CREATE TABLE [SensorReadings] (
    [ReadingId] bigint IDENTITY(1000,1) NOT NULL,
    [Sensor] varchar(20) NOT NULL,
    [TakenAt] datetime2(3) NOT NULL,
    [Celsius] float NULL,
    [Raw] varbinary(16) NULL
);
INSERT INTO [SensorReadings] ([Sensor], [TakenAt], [Celsius], [Raw]) VALUES
    ('north', '2024-06-01 12:00:00.000', 21.5, 0x0102),
    ('north', '2024-06-01 12:00:00.000', 21.5, 0x0102),
    ('south', '2024-06-01 12:00:00.000', NULL, NULL),
    ('south', '2024-06-01 12:05:00.000', NULL, NULL),
    ('south', '2024-06-01 12:00:00.000', NULL, 0x00),
    ('east', '2024-06-01 12:00:00.250', 0.1, 0xFF);

CREATE TABLE [Physics] ([Constant] nvarchar(40) NOT NULL, [Value] float NOT NULL);
INSERT INTO [Physics] VALUES (N'c', 299792458), (N'g', 9.80665), (N'c', 299792458);

CREATE VIEW [CustomerCities] AS SELECT DISTINCT [City] FROM [Customers];
)sql";

} // namespace

void createDemo(Store& store) {
    if (store.find("Demo")) return;
    store.create("Demo");
    Engine engine(store, "Demo");
    StrictSink sink;
    engine.executeBatch(kDemo, sink);
}

} // namespace sandbox
