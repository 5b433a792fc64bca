#include "RunWindow.h"

#include "RunDefinition.h"
#include "RunStatusLine.h"
#include "exchange/CommandText.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace {

const QString kStartCaption = QStringLiteral("&Start");
const QString kStopCaption = QStringLiteral("&Stop");

QLabel* labelFor(const QString& caption, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

RunWindow::RunWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Measurement Run"));
    setModal(false);
    setSizeGripEnabled(false);

    txtCommands = new QPlainTextEdit(this);
    txtCommands->setTabChangesFocus(true);
    txtCommands->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCommands->setPlaceholderText(QStringLiteral("One command per line, such as TEMP?"));
    // Seconds: digits with "." or "," and at most three decimals.
    auto* seconds = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}([.,][0-9]{0,3})?")), this);
    txtEvery = new QLineEdit(QStringLiteral("1"), this);
    txtEvery->setValidator(seconds);
    txtReplyTimeout = new QLineEdit(QStringLiteral("1"), this);
    txtReplyTimeout->setValidator(seconds);
    spnCycles = new QSpinBox(this);
    spnCycles->setRange(0, int(RunDefinition::MaxCycles));
    spnCycles->setValue(0);
    txtCsvFile = new QLineEdit(this);
    cmdBrowse = new QPushButton(QStringLiteral("&Browse\u2026"), this);
    cmdStart = new QPushButton(kStartCaption, this);
    cmdOpen = new QPushButton(QStringLiteral("&Open\u2026"), this);
    cmdSave = new QPushButton(QStringLiteral("Sa&ve\u2026"), this);
    lblStatus = new RunStatusLine(this);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Two columns: the captions, and what they name.
    auto* grid = new QGridLayout(this);
    grid->addWidget(labelFor(QStringLiteral("&Commands:"), txtCommands, this), 0, 0, Qt::AlignTop);
    grid->addWidget(txtCommands, 0, 1);
    const int digits = fontMetrics().horizontalAdvance(QStringLiteral("86400.000")) + 12;
    for (QWidget* field : std::initializer_list<QWidget*>{txtEvery, txtReplyTimeout, spnCycles})
        field->setFixedWidth(digits + (field == spnCycles ? 24 : 0));
    auto* timing = new QHBoxLayout;
    timing->addWidget(txtEvery);
    timing->addWidget(new QLabel(QStringLiteral("s"), this));
    timing->addSpacing(12);
    timing->addWidget(labelFor(QStringLiteral("Reply &time-out:"), txtReplyTimeout, this));
    timing->addWidget(txtReplyTimeout);
    timing->addWidget(new QLabel(QStringLiteral("s"), this));
    timing->addStretch();
    grid->addWidget(labelFor(QStringLiteral("&Every:"), txtEvery, this), 1, 0);
    grid->addLayout(timing, 1, 1);
    auto* cycles = new QHBoxLayout;
    cycles->addWidget(spnCycles);
    cycles->addWidget(new QLabel(QStringLiteral("cycles (0: until stopped)"), this));
    cycles->addStretch();
    grid->addWidget(labelFor(QStringLiteral("Stop &after:"), spnCycles, this), 2, 0);
    grid->addLayout(cycles, 2, 1);
    auto* file = new QHBoxLayout;
    file->addWidget(txtCsvFile, 1);
    file->addWidget(cmdBrowse);
    grid->addWidget(labelFor(QStringLiteral("CSV &file:"), txtCsvFile, this), 3, 0);
    grid->addLayout(file, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdStart);
    buttons->addStretch();
    buttons->addWidget(cmdOpen);
    buttons->addWidget(cmdSave);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->addWidget(lblStatus, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    txtCommands->setFixedHeight(6 * fontMetrics().lineSpacing() + 8);
    lblStatus->setMinimumHeight(3 * fontMetrics().lineSpacing());

    const QWidget* chain[] = {txtCommands, txtEvery, txtReplyTimeout, spnCycles, txtCsvFile,
                              cmdBrowse,   cmdStart, cmdOpen,         cmdSave,   lblStatus};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(chain[i]), const_cast<QWidget*>(chain[i + 1]));

    connect(cmdStart, &QPushButton::clicked, this, &RunWindow::startClicked);
    connect(cmdBrowse, &QPushButton::clicked, this, &RunWindow::browseClicked);
    connect(cmdOpen, &QPushButton::clicked, this, &RunWindow::openClicked);
    connect(cmdSave, &QPushButton::clicked, this, &RunWindow::saveClicked);
    setRunning(false);
    resize(QSize(std::max(sizeHint().width(), 36 * fontMetrics().averageCharWidth()),
                 sizeHint().height()));
}

QString RunWindow::readDefinition(RunDefinition* definition) const
{
    RunDefinition read = *definition;
    const QStringList lines = txtCommands->toPlainText().split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList unsendable = unsendableCharacters(lines[i]);
        if (!unsendable.isEmpty())
            return QStringLiteral("Line %1 of the commands cannot be sent: %2 cannot be sent to "
                                  "the instrument, which takes only the characters U+0000 to "
                                  "U+00FF (Latin-1).")
                .arg(i + 1)
                .arg(unsendable.join(QStringLiteral(", ")));
    }
    read.commands = commandLines(txtCommands->toPlainText());
    if (read.commands.isEmpty())
        return QStringLiteral("There are no commands to send: enter at least one command, one "
                              "per line.");
    if (!parseSeconds(txtEvery->text(), true, &read.periodMs) ||
        read.periodMs < RunDefinition::MinPeriodMs || read.periodMs > RunDefinition::MaxPeriodMs)
        return QStringLiteral("Every: give the period as a number of seconds from 0.1 to 86400, "
                              "with at most three decimals.");
    if (!parseSeconds(txtReplyTimeout->text(), true, &read.replyTimeoutMs) ||
        read.replyTimeoutMs < RunDefinition::MinReplyTimeoutMs ||
        read.replyTimeoutMs > RunDefinition::MaxReplyTimeoutMs)
        return QStringLiteral("Reply time-out: give it as a number of seconds from 0.05 to 99, "
                              "with at most three decimals.");
    read.cycles = spnCycles->value();
    read.csvFile = txtCsvFile->text();
    if (read.csvFile.trimmed().isEmpty())
        return QStringLiteral("There is no CSV file: enter its name, or choose one with "
                              "Browse\u2026");
    *definition = read;
    return QString();
}

void RunWindow::showDefinition(const RunDefinition& definition)
{
    txtCommands->setPlainText(definition.commands.join(u'\n'));
    txtEvery->setText(secondsText(definition.periodMs));
    txtReplyTimeout->setText(secondsText(definition.replyTimeoutMs));
    spnCycles->setValue(int(definition.cycles));
    txtCsvFile->setText(QDir::toNativeSeparators(definition.csvFile));
}

void RunWindow::setRunning(bool running)
{
    m_running = running;
    cmdStart->setText(running ? kStopCaption : kStartCaption);
    txtCommands->setReadOnly(running);
    for (QLineEdit* field : {txtEvery, txtReplyTimeout, txtCsvFile})
        field->setReadOnly(running);
    spnCycles->setReadOnly(running);
    cmdBrowse->setEnabled(!running);
    cmdOpen->setEnabled(!running);
    // Enter starts a run from any field; while one goes on, Enter presses nothing.
    for (QPushButton* button : {cmdBrowse, cmdStart, cmdOpen, cmdSave})
        button->setAutoDefault(!running);
    cmdStart->setDefault(!running);
}

void RunWindow::setStatus(const QString& text, bool announce)
{
    lblStatus->setStatus(text, announce);
}
