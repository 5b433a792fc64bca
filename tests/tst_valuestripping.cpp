// Stripping a reply to its value: the cut, the reading of the number and its written form.

#include "app/frmMain.h"
#include "exchange/ValueStripping.h"

#include <QTest>

class ValueStrippingTest : public QObject {
    Q_OBJECT
private slots:
    void strip_data();
    void strip();
    void parseStringCutsInPlace();
    void numberForm_data();
    void numberForm();
    void outOfRange_data();
    void outOfRange();
};

void ValueStrippingTest::strip_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QString>("result");
    // The made-up replies that show the rules.
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("name and _") << "AB_12.5"
                                << "12.5"
                                << "12.5";
    QTest::newRow("first _ only") << "X_Y_7"
                                  << "Y_7"
                                  << "0";
    QTest::newRow("_ last") << "AB_"
                            << ""
                            << "0";
    QTest::newRow("= within 8") << "ABCDEFG=12.50"
                                << "12.50"
                                << "12.5";
    QTest::newRow("= cuts 8 wherever it is") << "LONGNAME=12.5"
                                             << "=12.5"
                                             << "0";
    QTest::newRow("= but shorter than 8") << "AB=1"
                                          << "AB=1"
                                          << "0";
    QTest::newRow("exactly 8 with =") << "ABCDEF=1"
                                      << ""
                                      << "0";
    QTest::newRow("5-character prefix") << "ABCDE-3.25"
                                        << "-3.25"
                                        << "-3.25";
    QTest::newRow("minus zero") << "ABCDE-0.000"
                                << "-0.000"
                                << "0";
    QTest::newRow("blanks inside the number") << "ABCDE1 00.5 xyz"
                                              << "1 00.5 xyz"
                                              << "100.5";
    QTest::newRow("tabs and line feeds skipped") << "ABCDE\t-\n1\t2 . 5"
                                                 << "\t-\n1\t2 . 5"
                                                 << "-12.5";
    QTest::newRow("small in exponent form") << "ABCDE0.00001"
                                            << "0.00001"
                                            << "1E-05";
    QTest::newRow("exponent read") << "ABCDE2.5E2"
                                   << "2.5E2"
                                   << "250";
    QTest::newRow("lower-case exponent, signed") << "ABCDE25e-1"
                                                 << "25e-1"
                                                 << "2.5";
    QTest::newRow("E without digits ends the number") << "ABCDE7E+x"
                                                      << "7E+x"
                                                      << "7";
    QTest::newRow("shorter than 5: whole") << "12.5"
                                           << "12.5"
                                           << "12.5";
    QTest::newRow("5 cut from a bare number") << "123.456"
                                              << "56"
                                              << "56";
    QTest::newRow("exactly 5") << "ABCDE"
                               << ""
                               << "0";
    QTest::newRow("no number") << "OK"
                               << "OK"
                               << "0";
    QTest::newRow("both markers: _ wins") << "A=B_4.5"
                                          << "4.5"
                                          << "4.5";
    QTest::newRow("second point ends it") << "ABCDE1.2.3"
                                          << "1.2.3"
                                          << "1.2";
    QTest::newRow("plus sign dropped") << "ABCDE+7"
                                       << "+7"
                                       << "7";
    QTest::newRow("sign alone") << "ABCDE-"
                                << "-"
                                << "0";
    QTest::newRow("point alone") << "ABCDE."
                                 << "."
                                 << "0";
    QTest::newRow("leading point") << "ABCDE.5"
                                   << ".5"
                                   << "0.5";
    QTest::newRow("hexadecimal") << "ABCDE&HFF"
                                 << "&HFF"
                                 << "255";
    QTest::newRow("hexadecimal lower case") << "ABCDE&h1a"
                                            << "&h1a"
                                            << "26";
    QTest::newRow("octal") << "ABCDE&O17"
                           << "&O17"
                           << "15";
    QTest::newRow("octal stops at 8") << "ABCDE&O178"
                                      << "&O178"
                                      << "15";
    QTest::newRow("& alone") << "ABCDE&X1"
                             << "&X1"
                             << "0";
    QTest::newRow("comma ends the number") << "ABCDE1,000"
                                           << "1,000"
                                           << "1";
    QTest::newRow("non-ASCII ends the number") << "ABCDE3\u00b05"
                                               << "3\u00b05"
                                               << "3";
    QTest::newRow("fifteen digits") << "ABCDE123456789012345"
                                    << "123456789012345"
                                    << "123456789012345";
    QTest::newRow("sixteen digits") << "ABCDE1234567890123456"
                                    << "1234567890123456"
                                    << "1.23456789012346E+15";
    QTest::newRow("rounded to fifteen") << "ABCDE0.1234567890123456"
                                        << "0.1234567890123456"
                                        << "0.123456789012346";
}

void ValueStrippingTest::strip()
{
    QFETCH(QString, line);
    QFETCH(QString, cut);
    QFETCH(QString, result);
    if (!line.isEmpty())
        QCOMPARE(cutReplyPrefix(line), cut);
    QCOMPARE(stripReplyValue(line), result);
}

void ValueStrippingTest::parseStringCutsInPlace()
{
    frmMain w;
    QString line = QStringLiteral("ABCDEFG=12.50");
    QCOMPARE(w.ParseString(line), QStringLiteral("12.5"));
    QCOMPARE(line, QStringLiteral("12.50"));
    QString empty;
    QCOMPARE(w.ParseString(empty), QString());
}

void ValueStrippingTest::numberForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("minus zero") << -0.0 << "0";
    QTest::newRow("whole") << 250.0 << "250";
    QTest::newRow("negative fraction") << -3.25 << "-3.25";
    QTest::newRow("below one") << 0.5 << "0.5";
    QTest::newRow("1E-4 still fixed") << 0.0001 << "0.0001";
    QTest::newRow("below 1E-4") << 0.00001 << "1E-05";
    QTest::newRow("below 1E-4 with digits") << 0.000012345 << "1.2345E-05";
    QTest::newRow("just below 1E15") << 999999999999999.0 << "999999999999999";
    QTest::newRow("1E15") << 1e15 << "1E+15";
    QTest::newRow("rounds up to 1E15") << 999999999999999.9 << "1E+15";
    QTest::newRow("large") << 1.5e100 << "1.5E+100";
    QTest::newRow("tiny") << -2.5e-300 << "-2.5E-300";
    QTest::newRow("denormal") << 4.9406564584124654e-324 << "4.94065645841247E-324";
    QTest::newRow("largest double") << 1.7976931348623157e308 << "1.79769313486232E+308";
    QTest::newRow("one third") << 1.0 / 3 << "0.333333333333333";
}

void ValueStrippingTest::numberForm()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(formatNumber(value), text);
}

void ValueStrippingTest::outOfRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<double>("value");
    QTest::newRow("exponent too large") << "1E400" << true << 0.0;
    QTest::newRow("too many digits") << QString(400, QLatin1Char('9')) << true << 0.0;
    QTest::newRow("huge exponent") << "1E99999999999999999999999" << true << 0.0;
    QTest::newRow("negative, too large") << "-1E309" << true << 0.0;
    QTest::newRow("underflow reads as zero") << "1E-400" << false << 0.0;
    QTest::newRow("many leading zeros") << "0." + QString(400, '0') + "1" << false << 0.0;
    QTest::newRow("huge negative exponent") << "5E-99999999999999999999" << false << 0.0;
    QTest::newRow("exponent too small, padded with zeros")
        << "1E-0000000000000000000400" << false << 0.0;
    QTest::newRow("exponent too large, padded with zeros")
        << "1E+0000000000000000000400" << true << 0.0;
    QTest::newRow("zero with a large exponent") << "0E999999" << false << 0.0;
    QTest::newRow("hexadecimal too large") << "&H" + QString(300, 'F') << true << 0.0;
    QTest::newRow("largest double") << "1.7976931348623157E308" << false << 1.7976931348623157e308;
}

void ValueStrippingTest::outOfRange()
{
    QFETCH(QString, text);
    QFETCH(bool, empty);
    QFETCH(double, value);
    const std::optional<double> read = readLeadingNumber(text);
    QCOMPARE(!read.has_value(), empty);
    if (read)
        QCOMPARE(*read, value);
    // Behind a 5-character prefix the whole stripping agrees.
    QCOMPARE(stripReplyValue(QStringLiteral("ABCDE") + text).isEmpty(), empty);
}

QTEST_MAIN(ValueStrippingTest)
#include "tst_valuestripping.moc"
