// The data behind the chart of readings: which cells are readings, how readings are sorted into
// series by command, how they are kept, and how a series is reduced to the pixel columns.

#include "chart/ColumnReduction.h"
#include "chart/NiceRange.h"
#include "chart/ReadingSeries.h"
#include "chart/Readings.h"
#include "chart/TimeTicks.h"
#include "chart/TimeView.h"
#include "exchange/ValueStripping.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTest>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <set>

namespace {

// A reading by its definition: the number the cell holds, written as Strip Data writes it,
// gives the cell back.
std::optional<double> readingByDefinition(const QString& text)
{
    const std::optional<double> value = readLeadingNumber(text);
    if (value && formatNumber(*value) == text)
        return value;
    return std::nullopt;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

#ifndef Q_OS_WIN
// While it lives, local time is that of a time zone, set through TZ.
class LocalTimeZone {
public:
    explicit LocalTimeZone(const QByteArray& zone)
        : m_wasSet(qEnvironmentVariableIsSet("TZ")), m_was(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalTimeZone()
    {
        if (m_wasSet)
            qputenv("TZ", m_was);
        else
            qunsetenv("TZ");
        tzset();
    }
    LocalTimeZone(const LocalTimeZone&) = delete;
    LocalTimeZone& operator=(const LocalTimeZone&) = delete;

private:
    bool m_wasSet = false;
    QByteArray m_was;
};
#endif

using Points = QList<QPointF>;
using Breaks = QList<int>;       // readings that begin a new segment of the line
using Starts = QList<qsizetype>; // points that do

} // namespace

class ChartDataTest : public QObject {
    Q_OBJECT
private slots:
    void readings_data();
    void readings();
    void readingsAgreeWithTheDefinition();
    void series_data();
    void series();
    void readingListKeepsTimes_data();
    void readingListKeepsTimes();
    void reduction_data();
    void reduction();
    void reductionKeepsEveryColumnsExtremes_data();
    void reductionKeepsEveryColumnsExtremes();
    void valueAxisRange_data();
    void valueAxisRange();
    void timeAxisTicks_data();
    void timeAxisTicks();
    void timeViewBounds_data();
    void timeViewBounds();
};

void ChartDataTest::readings_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<double>("value");
    // Every form that Strip Data writes.
    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("decimal") << "12.5" << true << 12.5;
    QTest::newRow("negative") << "-3.25" << true << -3.25;
    QTest::newRow("whole") << "250" << true << 250.0;
    QTest::newRow("below 1") << "0.5" << true << 0.5;
    QTest::newRow("smallest without exponent") << "-0.0001" << true << -0.0001;
    QTest::newRow("small in exponent form") << "1E-05" << true << 1e-5;
    QTest::newRow("large in exponent form")
        << "1.23456789012346E+17" << true << 1.23456789012346e17;
    QTest::newRow("largest without exponent") << "999999999999999" << true << 999999999999999.0;
    QTest::newRow("from 1E15 in exponent form") << "1E+15" << true << 1e15;
    QTest::newRow("fifteen digits") << "1234567.89012345" << true << 1234567.89012345;
    QTest::newRow("three exponent digits") << "-2.5E+100" << true << -2.5e100;
    QTest::newRow("tiny") << "1.5E-300" << true << 1.5e-300;
    // Near misses: numbers, but not as Strip Data writes them.
    QTest::newRow("trailing zero") << "12.50" << false << 0.0;
    QTest::newRow("plus sign") << "+5" << false << 0.0;
    QTest::newRow("lower-case exponent") << "1.5e3" << false << 0.0;
    QTest::newRow("exponent where none is written") << "1.5E+03" << false << 0.0;
    QTest::newRow("with a unit") << "12.5 V" << false << 0.0;
    QTest::newRow("leading blank") << " 12.5" << false << 0.0;
    QTest::newRow("trailing blank") << "12.5 " << false << 0.0;
    QTest::newRow("minus zero") << "-0" << false << 0.0;
    QTest::newRow("sign alone") << "-" << false << 0.0;
    QTest::newRow("point alone") << "." << false << 0.0;
    QTest::newRow("point without digits") << "1." << false << 0.0;
    QTest::newRow("no leading zero") << ".5" << false << 0.0;
    QTest::newRow("leading zero") << "012" << false << 0.0;
    QTest::newRow("whole with a point") << "1.0" << false << 0.0;
    QTest::newRow("too small without exponent") << "0.00001" << false << 0.0;
    QTest::newRow("exponent where zeros are written") << "1E-04" << false << 0.0;
    QTest::newRow("one exponent digit") << "1E-5" << false << 0.0;
    QTest::newRow("padded exponent") << "1E-005" << false << 0.0;
    QTest::newRow("exponent without sign") << "1E05" << false << 0.0;
    QTest::newRow("two digits before the exponent") << "12E+15" << false << 0.0;
    QTest::newRow("sixteen digits") << "1234567890123456" << false << 0.0;
    QTest::newRow("sixteen significant decimals") << "0.1234567890123456" << false << 0.0;
    QTest::newRow("regional comma") << "12,5" << false << 0.0;
    QTest::newRow("hexadecimal") << "&H10" << false << 0.0;
    QTest::newRow("text") << "OK" << false << 0.0;
    QTest::newRow("empty (a time-out)") << "" << false << 0.0;
    QTest::newRow("reply before stripping") << "TEMP_23.45" << false << 0.0;
    QTest::newRow("line feed") << "12.5\n" << false << 0.0;
    QTest::newRow("other digits") << QStringLiteral("\u0661\u0662") << false << 0.0;
    QTest::newRow("beyond a double") << "1.79769313486232E+308" << false << 0.0;
}

void ChartDataTest::readings()
{
    QFETCH(QString, cell);
    QFETCH(bool, reading);
    QFETCH(double, value);
    const std::optional<double> read = readingValue(cell);
    QCOMPARE(read.has_value(), reading);
    if (reading)
        QCOMPARE(*read, value);
    // Whatever the quick test says, the definition says too.
    QCOMPARE(readingByDefinition(cell).has_value(), reading);
}

void ChartDataTest::readingsAgreeWithTheDefinition()
{
    // Values Strip Data writes, across every form and the ends of the range of a double, and
    // texts one edit away from them.
    std::vector<double> values = {0.0,
                                  1.0,
                                  -1.0,
                                  0.1,
                                  0.0001,
                                  0.00001,
                                  1e14,
                                  1e15,
                                  1e16,
                                  9.99999999999999e14,
                                  DBL_MAX,
                                  DBL_MIN,
                                  -DBL_MIN,
                                  4.9406564584124654e-324,
                                  2.2250738585072e-308,
                                  1e-307,
                                  1e-308,
                                  1e307,
                                  1e308,
                                  1.7976931348623e308,
                                  123.456,
                                  -0.000123456789012345};
    QRandomGenerator random(20260325);
    for (int i = 0; i < 20000; ++i) {
        const double mantissa = random.generateDouble() * 10;
        const int exponent = random.bounded(-330, 330);
        values.push_back((i % 2 ? -1 : 1) * mantissa * std::pow(10.0, exponent));
        values.push_back(std::round(mantissa * std::pow(10.0, random.bounded(0, 6))) /
                         std::pow(10.0, random.bounded(0, 8)));
    }
    const QStringList edits = {"0", "5", ".", "-", "+", "E", "e", " "};
    int readings = 0;
    for (double value : values) {
        const QString written = formatNumber(value);
        QStringList texts{written};
        for (const QString& edit : edits) {
            texts << written + edit << edit + written;
            texts << QString(written).insert(written.size() / 2, edit);
        }
        texts << written.chopped(1) << written.mid(1);
        for (const QString& text : texts) {
            const std::optional<double> quick = readingValue(text);
            const std::optional<double> defined = readingByDefinition(text);
            if (quick.has_value() != defined.has_value() || (quick && !sameBits(*quick, *defined)))
                QFAIL(qPrintable(
                    QStringLiteral("\"%1\" is judged otherwise than defined").arg(text)));
            readings += quick.has_value();
        }
    }
    QVERIFY(readings > 40000); // most values give a reading
}

void ChartDataTest::series_data()
{
    // Rows as "C:text" (command row), "R:text" (reply row, its Response cell), "W:text" (a reply
    // in which Strip Data read no digit), "N:text" (notice row), "clear", or "break" (the next
    // row comes after a break); the series as "name=values" in the order they came, "|" where
    // the line breaks.
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("series");
    QTest::newRow("replies to one command")
        << QStringList{"C:TEMP?", "R:23.45", "R:23.5"} << QStringList{"TEMP?=23.45,23.5"};
    QTest::newRow("before the first command") << QStringList{"R:1", "R:2", "C:VOLT?", "R:12.3"}
                                              << QStringList{"Unsolicited=1,2", "VOLT?=12.3"};
    QTest::newRow("a repeated command shares its series")
        << QStringList{"C:TEMP?", "R:20", "C:PRES?", "R:1013.25", "C:TEMP?", "R:21"}
        << QStringList{"TEMP?=20,21", "PRES?=1013.25"};
    QTest::newRow("a reading belongs to the last command above it")
        << QStringList{"C:ID?", "C:TEMP?", "R:20", "R:BV-100"} << QStringList{"TEMP?=20"};
    QTest::newRow("a command without readings makes no series")
        << QStringList{"C:ID?", "R:BV-100", "C:UNIT?", "R:C"} << QStringList{};
    QTest::newRow("notices and other replies change nothing")
        << QStringList{"C:READ?",
                       "R:1",
                       "N:Data is going to be streamed to /tmp/a.txt",
                       "N:Data streaming canceled. ",
                       "R:",
                       "R:12.50",
                       "R:2"}
        << QStringList{"READ?=1,2"};
    QTest::newRow("a reply without a number, stripped, is no reading")
        << QStringList{"C:ID?", "W:0", "C:TEMP?", "W:0", "R:0", "W:0"} << QStringList{"TEMP?=0"};
    QTest::newRow("a break splits every series' line")
        << QStringList{"C:A", "R:1", "C:B", "R:2", "break", "R:3", "C:A", "R:4", "R:5"}
        << QStringList{"A=1|4,5", "B=2|3"};
    QTest::newRow("breaks on any kind of row, and several as one")
        << QStringList{"R:1", "break", "N:x", "break", "R:2", "break", "C:A", "R:7", "R:3"}
        << QStringList{"Unsolicited=1|2", "A=7,3"};
    QTest::newRow("a break before a series' first reading")
        << QStringList{"break", "R:1", "R:2", "break", "W:0", "R:3"}
        << QStringList{"Unsolicited=1,2|3"};
    QTest::newRow("after Clear the readings are unsolicited")
        << QStringList{"C:TEMP?", "R:20", "clear", "R:21", "C:TEMP?", "R:22"}
        << QStringList{"Unsolicited=21", "TEMP?=22"};
    QTest::newRow("a command called Unsolicited is a series of its own")
        << QStringList{"R:1", "C:Unsolicited", "R:2"}
        << QStringList{"Unsolicited=1", "Unsolicited=2"};
    QTest::newRow("an empty command")
        << QStringList{"C:", "R:5"} << QStringList{"(empty command)=5"};
    QTest::newRow("commands differing in case are two")
        << QStringList{"C:temp?", "R:1", "C:TEMP?", "R:2"} << QStringList{"temp?=1", "TEMP?=2"};
}

void ChartDataTest::series()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, series);
    ReadingSeriesSet set;
    qint64 msecs = 1774447629000;
    std::vector<std::vector<qint64>> expectedTimes;
    bool afterBreak = false;
    for (const QString& row : rows) {
        msecs += 1000;
        if (row == QLatin1String("clear")) {
            set.clear();
            expectedTimes.clear();
            continue;
        }
        if (row == QLatin1String("break")) {
            afterBreak = true;
            continue;
        }
        const QString text = row.mid(2);
        const RowKind kind = row[0] == 'C'                    ? RowKind::Command
                             : row[0] == 'R' || row[0] == 'W' ? RowKind::Reply
                                                              : RowKind::Notice;
        RowStamp stamp(msecs, kind, std::exchange(afterBreak, false));
        if (row[0] == 'W')
            stamp.markWithoutNumber();
        // A command row's text is its Command cell; the others' is their Response cell.
        const int index = set.addRow(stamp, kind == RowKind::Command ? text : QString(),
                                     kind == RowKind::Command ? QString() : text);
        if (index >= 0) {
            expectedTimes.resize(std::max(expectedTimes.size(), size_t(index) + 1));
            expectedTimes[size_t(index)].push_back(msecs);
        }
    }
    QStringList found;
    qsizetype total = 0;
    for (int i = 0; i < set.count(); ++i) {
        const ReadingSeries& s = set.series(i);
        QString values;
        for (qsizetype r = 0; r < s.readings.size(); ++r) {
            if (r > 0)
                values += s.readings.segmentOf(r) != s.readings.segmentOf(r - 1) ? u'|' : u',';
            values += formatNumber(s.readings.valueAt(r));
            QCOMPARE(s.readings.msecsAt(r), expectedTimes[size_t(i)][size_t(r)]);
        }
        found << s.name + QLatin1Char('=') + values;
        total += s.readings.size();
    }
    QCOMPARE(found, series);
    QCOMPARE(set.readingCount(), total);
}

void ChartDataTest::readingListKeepsTimes_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<bool>("ordered");
    const qint64 t = 1774447629045;
    const qint64 day = 24 * 3600 * 1000;
    QTest::newRow("a second apart") << QList<qint64>{t, t + 1000, t + 2000} << true;
    QTest::newRow("the same millisecond") << QList<qint64>{t, t, t, t + 1} << true;
    QTest::newRow("weeks apart, beyond a 32-bit offset")
        << QList<qint64>{t, t + 30 * day, t + 30 * day + 1, t + 90 * day} << true;
    QTest::newRow("the clock set back") << QList<qint64>{t, t + 5000, t + 1000} << false;
    QTest::newRow("set back by a month") << QList<qint64>{t, t - 31 * day, t + 1} << false;
    QTest::newRow("before 1970") << QList<qint64>{-5000, -1, 0} << true;
    QList<qint64> many;
    for (int i = 0; i < 10000; ++i)
        many << t + qint64(i) * 20 * 60 * 1000; // every 20 minutes: across chunks and offsets
    QTest::newRow("many chunks, sparse") << many << true;
}

void ChartDataTest::readingListKeepsTimes()
{
    QFETCH(QList<qint64>, times);
    QFETCH(bool, ordered);
    ReadingList list;
    for (int i = 0; i < times.size(); ++i)
        list.append(times[i], i * 0.5);
    QCOMPARE(list.size(), times.size());
    for (int i = 0; i < times.size(); ++i) {
        QCOMPARE(list.msecsAt(i), times[i]);
        QCOMPARE(list.valueAt(i), i * 0.5);
    }
    QCOMPARE(list.isTimeOrdered(), ordered);
    QCOMPARE(list.earliest(), *std::min_element(times.begin(), times.end()));
    QCOMPARE(list.latest(), *std::max_element(times.begin(), times.end()));
    if (ordered) {
        for (int i = 0; i < times.size(); ++i) {
            const auto first =
                qsizetype(std::lower_bound(times.begin(), times.end(), times[i]) - times.begin());
            QCOMPARE(list.lowerBound(times[i]), first);
            QCOMPARE(list.upperBound(times[i] - 1), first);
        }
    }
}

void ChartDataTest::reduction_data()
{
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<Points>("points");
    QTest::addColumn<int>("inRange");
    // The readings before which the line breaks, and the points that begin a new segment.
    QTest::addColumn<Breaks>("breaks");
    QTest::addColumn<Starts>("segmentStarts");
    QTest::newRow("one column: first, lowest, highest, last")
        << QList<qint64>{0, 1, 2, 3, 4} << QList<double>{5, 1, 9, 3, 4} << qint64(0) << qint64(4)
        << 1 << Points{{0, 5}, {1, 1}, {2, 9}, {4, 4}} << 5 << Breaks{} << Starts{};
    QTest::newRow("highest before lowest")
        << QList<qint64>{0, 1, 2, 3} << QList<double>{5, 9, 1, 4} << qint64(0) << qint64(3) << 1
        << Points{{0, 5}, {1, 9}, {2, 1}, {3, 4}} << 4 << Breaks{} << Starts{};
    QTest::newRow("first is lowest, last is highest")
        << QList<qint64>{0, 1, 2, 3} << QList<double>{1, 3, 2, 7} << qint64(0) << qint64(3) << 1
        << Points{{0, 1}, {3, 7}} << 4 << Breaks{} << Starts{};
    QTest::newRow("equal values keep the earliest")
        << QList<qint64>{0, 1, 2} << QList<double>{2, 2, 2} << qint64(0) << qint64(2) << 1
        << Points{{0, 2}, {2, 2}} << 3 << Breaks{} << Starts{};
    QTest::newRow("two columns") << QList<qint64>{0, 1, 2, 3, 4, 5, 6, 7}
                                 << QList<double>{1, 8, 2, 3, 6, 0, 7, 5} << qint64(0) << qint64(7)
                                 << 2
                                 << Points{{0, 1}, {1, 8}, {3, 3}, {4, 6}, {5, 0}, {6, 7}, {7, 5}}
                                 << 8 << Breaks{} << Starts{};
    QTest::newRow("fewer readings than columns: all of them")
        << QList<qint64>{0, 100, 200} << QList<double>{1, 2, 3} << qint64(0) << qint64(200) << 800
        << Points{{0, 1}, {100, 2}, {200, 3}} << 3 << Breaks{} << Starts{};
    QTest::newRow("the readings beside the range lead the line to its edges")
        << QList<qint64>{0, 10, 20, 30} << QList<double>{1, 2, 3, 4} << qint64(10) << qint64(20)
        << 100 << Points{{0, 1}, {10, 2}, {20, 3}, {30, 4}} << 2 << Breaks{} << Starts{};
    QTest::newRow("nothing in range, readings on both sides")
        << QList<qint64>{0, 100} << QList<double>{1, 2} << qint64(40) << qint64(60) << 10
        << Points{{0, 1}, {100, 2}} << 0 << Breaks{} << Starts{};
    QTest::newRow("the clock set back: columns by time, no edges")
        << QList<qint64>{0, 10, 5, 15, 100} << QList<double>{1, 2, 3, 4, 5} << qint64(0)
        << qint64(19) << 2 << Points{{0, 1}, {5, 3}, {10, 2}, {15, 4}} << 4 << Breaks{} << Starts{};
    QTest::newRow("a break: no line across it")
        << QList<qint64>{0, 1, 2, 3, 4, 5} << QList<double>{1, 2, 3, 4, 5, 6} << qint64(0)
        << qint64(5) << 100 << Points{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}} << 6
        << Breaks{3} << Starts{3};
    QTest::newRow("a break within a column: each side keeps its extremes")
        << QList<qint64>{0, 1, 2, 3, 4, 5} << QList<double>{5, 9, 1, 7, 0, 3} << qint64(0)
        << qint64(5) << 1 << Points{{0, 5}, {1, 9}, {2, 1}, {3, 7}, {4, 0}, {5, 3}} << 6
        << Breaks{3} << Starts{3};
    QTest::newRow("breaks beside the range")
        << QList<qint64>{0, 10, 20, 30} << QList<double>{1, 2, 3, 4} << qint64(10) << qint64(20)
        << 100 << Points{{0, 1}, {10, 2}, {20, 3}, {30, 4}} << 2 << Breaks{1, 3} << Starts{1, 3};
    QTest::newRow("the clock set back, and a break")
        << QList<qint64>{0, 10, 5, 15} << QList<double>{1, 2, 3, 4} << qint64(0) << qint64(19) << 2
        << Points{{0, 1}, {10, 2}, {5, 3}, {15, 4}} << 4 << Breaks{2} << Starts{2};
}

void ChartDataTest::reduction()
{
    QFETCH(QList<qint64>, times);
    QFETCH(QList<double>, values);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, columns);
    QFETCH(Points, points);
    QFETCH(int, inRange);
    QFETCH(Breaks, breaks);
    QFETCH(Starts, segmentStarts);
    ReadingList list;
    for (int i = 0; i < times.size(); ++i) {
        if (breaks.contains(i))
            list.breakLine();
        list.append(times[i], values[i]);
    }
    const ColumnReduction reduced = reduceToColumns(list, from, to, columns);
    QCOMPARE(reduced.points, points);
    QCOMPARE(reduced.readingsInRange, inRange);
    QCOMPARE(reduced.segmentStarts, segmentStarts);
}

void ChartDataTest::reductionKeepsEveryColumnsExtremes_data()
{
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("ordered");
    QTest::newRow("100k readings, 800 columns") << 100000 << 800 << true;
    QTest::newRow("more columns than readings") << 500 << 1000 << true;
    QTest::newRow("odd column widths") << 9973 << 617 << true;
    QTest::newRow("columns of thousands, across chunks") << 200000 << 37 << true;
    QTest::newRow("the clock set back") << 20000 << 300 << false;
}

void ChartDataTest::reductionKeepsEveryColumnsExtremes()
{
    QFETCH(int, readings);
    QFETCH(int, columns);
    QFETCH(bool, ordered);
    // Noise with a single outlier each way, at times 1 to 3 ms apart.
    QRandomGenerator random(42);
    ReadingList list;
    std::vector<Reading> all;
    qint64 msecs = 1774447629045;
    for (int i = 0; i < readings; ++i) {
        msecs += random.bounded(1, 4);
        if (!ordered && i == readings / 3)
            msecs -= 5000;
        double value = std::round(random.generateDouble() * 1000) / 10;
        if (i == readings / 2)
            value = 1e6;
        if (i == readings / 2 + 7)
            value = -1e6;
        list.append(msecs, value);
        all.push_back({msecs, value});
    }
    const qint64 from = all[size_t(readings / 10)].msecs;
    const qint64 to = all[size_t(readings * 9 / 10)].msecs;
    const ColumnReduction reduced = reduceToColumns(list, from, to, columns);

    // What every column must show, found the plain way.
    std::vector<std::vector<size_t>> byColumn(static_cast<size_t>(columns));
    const double span = double(to - from) + 1;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].msecs < from || all[i].msecs > to)
            continue;
        // Column c holds the times from ceil(c * span / columns) after `from`.
        int c = int(double(all[i].msecs - from) * columns / span);
        while (c + 1 < columns &&
               from + qint64(std::ceil((c + 1) * span / columns)) <= all[i].msecs)
            ++c;
        while (c > 0 && from + qint64(std::ceil(c * span / columns)) > all[i].msecs)
            --c;
        byColumn[size_t(c)].push_back(i);
    }
    Points expected;
    if (ordered && from > all.front().msecs) {
        const auto before = std::lower_bound(
            all.begin(), all.end(), from, [](const Reading& r, qint64 t) { return r.msecs < t; });
        expected << QPointF(double((before - 1)->msecs), (before - 1)->value);
    }
    int inRange = 0;
    for (const std::vector<size_t>& column : byColumn) {
        if (column.empty())
            continue;
        inRange += int(column.size());
        size_t lowest = column.front();
        size_t highest = column.front();
        for (size_t i : column) {
            if (all[i].value < all[lowest].value)
                lowest = i;
            if (all[i].value > all[highest].value)
                highest = i;
        }
        const std::set<size_t> kept{column.front(), lowest, highest, column.back()};
        for (size_t i : kept)
            expected << QPointF(double(all[i].msecs), all[i].value);
    }
    if (ordered && to < all.back().msecs) {
        const auto after = std::upper_bound(all.begin(), all.end(), to,
                                            [](qint64 t, const Reading& r) { return t < r.msecs; });
        expected << QPointF(double(after->msecs), after->value);
    }
    QCOMPARE(reduced.readingsInRange, inRange);
    QCOMPARE(reduced.points.size(), expected.size());
    QCOMPARE(reduced.points, expected);
    QVERIFY(reduced.points.size() <= 4 * columns + 2);
    QVERIFY(reduced.points.contains(QPointF(double(all[size_t(readings / 2)].msecs), 1e6)));
    QVERIFY(reduced.points.contains(QPointF(double(all[size_t(readings / 2 + 7)].msecs), -1e6)));
    QCOMPARE(reduced.highest, 1e6);
    QCOMPARE(reduced.lowest, -1e6);
}

void ChartDataTest::valueAxisRange_data()
{
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<int>("ticks");
    QTest::newRow("steps of 2") << 0.95 << 10.5 << 0.0 << 12.0 << 7;
    QTest::newRow("readings around 20") << 19.0 << 26.5 << 18.0 << 28.0 << 6;
    QTest::newRow("across zero") << -3.0 << 97.0 << -20.0 << 100.0 << 7;
    QTest::newRow("a narrow band far from zero") << 1000.0 << 1001.0 << 1000.0 << 1001.0 << 6;
    QTest::newRow("small negative values") << -0.0021 << -0.00195 << -0.0021 << -0.0019 << 5;
    // Spans of exactly 1, 2 or 5 times a power of ten: five ticks.
    QTest::newRow("a span of exactly 2") << 0.0 << 2.0 << 0.0 << 2.0 << 5;
    QTest::newRow("a span of exactly 0.2") << 0.0 << 0.2 << 0.0 << 0.2 << 5;
    QTest::newRow("a span of exactly 20") << 10.0 << 30.0 << 10.0 << 30.0 << 5;
    QTest::newRow("near the largest doubles") << -1.5e308 << 1.5e308 << -1.5e308 << 1.5e308 << 5;
    // Round values this fine are off by more than the margin: the range is kept as it is.
    QTest::newRow("apart in the 15th digit") << -9793.34654717583 << -9793.3465471758209
                                             << -9793.34654717583 << -9793.3465471758209 << 5;
    QTest::newRow("apart in the 15th digit, large")
        << 6.53865779151845e+269 << 6.5386577915184605e+269 << 6.53865779151845e+269
        << 6.5386577915184605e+269 << 5;
}

void ChartDataTest::valueAxisRange()
{
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(int, ticks);
    const NiceRange nice = niceRange(lowest, highest);
    // Exactly, not within QCOMPARE's tolerance: no reading lies beyond the axis.
    QVERIFY(nice.min <= lowest);
    QVERIFY(nice.max >= highest);
    QCOMPARE(nice.min, min);
    QCOMPARE(nice.max, max);
    QCOMPARE(nice.ticks, ticks);
}

void ChartDataTest::timeAxisTicks_data()
{
    // The axis shows [from, to] across `pixels`, with labels of digits 7 pixels wide, in local
    // time of the time zone `zone` (TZ; empty: the machine's); `separators` are those of the time
    // stamps (date, time). The ticks are `labels`, the first of them at `first`.
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<double>("pixels");
    QTest::addColumn<QString>("separators");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("first");
    const QDate day(2026, 3, 25);
    const auto at = [](const QDate& date, int h, int m, int s = 0, int ms = 0) {
        return QDateTime(date, QTime(h, m, s, ms));
    };
    QTest::newRow("seconds, from an uneven moment")
        << QByteArray() << at(day, 1, 40, 50, 300) << at(day, 1, 41, 51, 300) << 700.0 << "/:"
        << QStringList{"01:41:00", "01:41:10", "01:41:20", "01:41:30", "01:41:40", "01:41:50"}
        << "03/25/2026 01:41:00.000";
    QTest::newRow("a narrow axis: fewer ticks")
        << QByteArray() << at(day, 1, 40, 50, 300) << at(day, 1, 41, 51, 300) << 200.0
        << "/:" << QStringList{"01:41:00", "01:41:30"} << "03/25/2026 01:41:00.000";
    QTest::newRow("15 seconds, the last tick at the end")
        << QByteArray() << at(day, 10, 0, 5) << at(day, 10, 2, 15) << 700.0
        << "/:" << QStringList{"10:00:15", "10:00:30", "10:00:45", "10:01:00", "10:01:15",
                               "10:01:30", "10:01:45", "10:02:00", "10:02:15"}
        << "03/25/2026 10:00:15.000";
    QTest::newRow("hundredths") << QByteArray() << at(day, 14, 7, 9, 1) << at(day, 14, 7, 9, 49)
                                << 700.0 << "/:"
                                << QStringList{"14:07:09.01", "14:07:09.02", "14:07:09.03",
                                               "14:07:09.04"}
                                << "03/25/2026 14:07:09.010";
    QTest::newRow("tenths, across a second")
        << QByteArray() << at(day, 14, 7, 9, 250) << at(day, 14, 7, 10, 750) << 700.0
        << "/:" << QStringList{"14:07:09.4", "14:07:09.6", "14:07:09.8", "14:07:10.0",
                               "14:07:10.2", "14:07:10.4", "14:07:10.6"}
        << "03/25/2026 14:07:09.400";
    QTest::newRow("minutes") << QByteArray() << at(day, 9, 3) << at(day, 9, 58) << 400.0
                             << "/:" << QStringList{"09:10", "09:20", "09:30", "09:40", "09:50"}
                             << "03/25/2026 09:10:00.000";
    QTest::newRow("hours across midnight, with the date")
        << QByteArray() << at(day, 20, 0) << at(day.addDays(2), 4, 0) << 700.0 << "/:"
        << QStringList{"03/26 00:00", "03/26 06:00", "03/26 12:00", "03/26 18:00", "03/27 00:00"}
        << "03/26/2026 00:00:00.000";
    QTest::newRow("the time stamps' other separators")
        << QByteArray() << at(day, 20, 0) << at(day.addDays(2), 4, 0) << 700.0 << ".."
        << QStringList{"03.26 00.00", "03.26 06.00", "03.26 12.00", "03.26 18.00", "03.27 00.00"}
        << "03/26/2026 00:00:00.000";
    QTest::newRow("days") << QByteArray() << at(QDate(2026, 3, 1), 0, 0)
                          << at(QDate(2026, 3, 21), 0, 0) << 700.0
                          << "/:" << QStringList{"03/02", "03/04", "03/06", "03/08", "03/10",
                                                 "03/12", "03/14", "03/16", "03/18", "03/20"}
                          << "03/02/2026 00:00:00.000";
    QTest::newRow("days across the new year, with the year")
        << QByteArray() << at(QDate(2025, 12, 20), 0, 0) << at(QDate(2026, 1, 10), 0, 0) << 700.0
        << "-:" << QStringList{"12-23-2025", "12-28-2025", "01-02-2026", "01-07-2026"}
        << "12/23/2025 00:00:00.000";
    QTest::newRow("whole seconds, from a tick")
        << QByteArray() << at(day, 10, 0, 0) << at(day, 10, 0, 10) << 700.0 << "/:"
        << QStringList{"10:00:00", "10:00:01", "10:00:02", "10:00:03", "10:00:04", "10:00:05",
                       "10:00:06", "10:00:07", "10:00:08", "10:00:09", "10:00:10"}
        << "03/25/2026 10:00:00.000";
    // The clock changes in Berlin: set back from 03:00 to 02:00 on 10/26/2025, ahead from
    // 02:00 to 03:00 on 03/29/2026, both at 01:00 UTC.
    const QByteArray berlin("Europe/Berlin");
    const auto utc = [](int y, int mo, int d, int h, int m) {
        return QDateTime(QDate(y, mo, d), QTime(h, m), Qt::UTC);
    };
    QTest::newRow("set back: a time twice, 5 minutes")
        << berlin << utc(2025, 10, 26, 0, 50) << utc(2025, 10, 26, 1, 10) << 400.0
        << "/:" << QStringList{"02:50", "02:55", "02:00", "02:05", "02:10"}
        << "10/26/2025 02:50:00.000";
    QTest::newRow("set back: hours")
        << berlin << utc(2025, 10, 25, 22, 0) << utc(2025, 10, 26, 4, 0) << 400.0
        << "/:" << QStringList{"00:00", "01:00", "02:00", "02:00", "03:00", "04:00", "05:00"}
        << "10/26/2025 00:00:00.000";
    QTest::newRow("set ahead: no tick in the hour skipped, 5 minutes")
        << berlin << utc(2026, 3, 29, 0, 50) << utc(2026, 3, 29, 1, 10) << 400.0
        << "/:" << QStringList{"01:50", "01:55", "03:00", "03:05", "03:10"}
        << "03/29/2026 01:50:00.000";
    QTest::newRow("set ahead: hours")
        << berlin << utc(2026, 3, 28, 23, 0) << utc(2026, 3, 29, 4, 0) << 400.0
        << "/:" << QStringList{"00:00", "01:00", "03:00", "04:00", "05:00", "06:00"}
        << "03/29/2026 00:00:00.000";
    QTest::newRow("days across a clock set back: at midnight")
        << berlin << utc(2025, 10, 19, 22, 0) << utc(2025, 10, 31, 23, 0) << 700.0
        << "/:" << QStringList{"10/20", "10/21", "10/22", "10/23", "10/24", "10/25", "10/26",
                               "10/27", "10/28", "10/29", "10/30", "10/31", "11/01"}
        << "10/20/2025 00:00:00.000";
}

void ChartDataTest::timeAxisTicks()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(double, pixels);
    QFETCH(QString, separators);
    QFETCH(QStringList, labels);
    QFETCH(QString, first);
#ifdef Q_OS_WIN
    if (!zone.isEmpty())
        QSKIP("Windows takes no time zone from TZ.");
#else
    std::optional<LocalTimeZone> inZone;
    if (!zone.isEmpty()) {
        inZone.emplace(zone);
        if (QDateTime::fromMSecsSinceEpoch(from.toMSecsSinceEpoch()).offsetFromUtc() == 0)
            QSKIP("This system has no data of the time zone.");
    }
#endif
    const std::vector<TimeTick> ticks =
        timeTicks(from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), pixels, 7,
                  TimeStampSeparators{separators[0], separators[1]});
    QStringList found;
    for (const TimeTick& tick : ticks) {
        found << tick.label;
        QVERIFY(tick.msecs >= from.toMSecsSinceEpoch());
        QVERIFY(tick.msecs <= to.toMSecsSinceEpoch());
    }
    QCOMPARE(found, labels);
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(ticks.front().msecs)
                 .toString(QStringLiteral("MM/dd/yyyy hh:mm:ss.zzz")),
             first);
}

void ChartDataTest::timeViewBounds_data()
{
    // The view [from, to] zoomed by `amount` about the point `share` of the way across, panned by
    // `amount` milliseconds, or only brought within the bounds; it becomes [newFrom, newTo].
    using namespace TimeViewBounds;
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QString>("move");
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("share");
    QTest::addColumn<qint64>("newFrom");
    QTest::addColumn<qint64>("newTo");
    const qint64 t = 1774447629045;
    const qint64 century = LongestSpan;
    QTest::newRow("zoom in") << t << t + 10000 << "zoom" << 0.5 << 0.25 << t + 1250 << t + 6250;
    QTest::newRow("zoom in to the millisecond")
        << t << t + 3 << "zoom" << 0.1 << 0.5 << t + 1 << t + 2;
    QTest::newRow("zoom out to a hundred years")
        << t << t + 10000 << "zoom" << 4503599627370496.0 << 0.5 << t + 5000 - century / 2
        << t + 5000 + century / 2;
    QTest::newRow("zoom out at 1970: moved back within the years")
        << qint64(1000) << 1000 + century / 2 << "zoom" << 3.0 << 0.5 << Earliest << century;
    QTest::newRow("zoom out at 9999: moved back within the years")
        << Latest - century / 2 << Latest << "zoom" << 3.0 << 1.0 << Latest - century << Latest;
    QTest::newRow("pan") << t << t + 10000 << "pan" << -2500.4 << 0.0 << t - 2500 << t + 7500;
    QTest::newRow("pan by less than a millisecond")
        << t << t + 1 << "pan" << 0.25 << 0.0 << t + 1 << t + 2;
    QTest::newRow("pan to 1970 and no further")
        << qint64(5000) << qint64(15000) << "pan" << -1e18 << 0.0 << Earliest << qint64(10000);
    QTest::newRow("pan to 9999 and no further")
        << t << t + 10000 << "pan" << 1e300 << 0.0 << Latest - 10000 << Latest;
    QTest::newRow("before 1970: cut")
        << qint64(-5000) << qint64(5000) << "bound" << 0.0 << 0.0 << Earliest << qint64(5000);
    QTest::newRow("beyond every bound: the last hundred years")
        << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max() << "bound"
        << 0.0 << 0.0 << Latest - century << Latest;
    QTest::newRow("ends swapped") << t + 10 << t << "bound" << 0.0 << 0.0 << t << t + 10;
    QTest::newRow("no span") << t << t << "bound" << 0.0 << 0.0 << t << t + 1;
}

void ChartDataTest::timeViewBounds()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QString, move);
    QFETCH(double, amount);
    QFETCH(double, share);
    QFETCH(qint64, newFrom);
    QFETCH(qint64, newTo);
    const TimeView view = move == QLatin1String("zoom")  ? zoomedTimeView({from, to}, share, amount)
                          : move == QLatin1String("pan") ? pannedTimeView({from, to}, amount)
                                                         : boundedTimeView(from, to);
    QCOMPARE(view, TimeView(newFrom, newTo));
}

QTEST_GUILESS_MAIN(ChartDataTest)
#include "tst_chartdata.moc"
