#include "ui_helptext.h"
#include <updater/helptext.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMouseEvent>
#include <QScrollBar>

namespace {
const char *const titleBarColor = "#e31e18";
}

HelpText::HelpText(QWidget *parent) : QDialog(parent), ui(new Ui::HelpText)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ui->textEdit->horizontalScrollBar()->setValue(ui->textEdit->horizontalScrollBar()->minimum());
    onModifyStyle(QString());
    connect(ui->TB_Close, &QPushButton::released, this, &HelpText::onCloseHelpTextWidget);
}

HelpText::~HelpText()
{
    delete ui;
}

QString HelpText::helpPictureName(int productId, QLocale::Language language)
{
    const bool chinese = language == QLocale::Chinese;
    switch (productId) {
    case 0x0522:
        return chinese ? QStringLiteral("Base_Ch.jpg") : QStringLiteral("Base_En.jpg");
    case 0x0524:
        return chinese ? QStringLiteral("Wheel_Ch.jpg") : QStringLiteral("Wheel_En.jpg");
    default:
        return QString();
    }
}

QString HelpText::helpPicturePath(int productId, QLocale::Language language)
{
    const QString name = helpPictureName(productId, language);
    if (name.isEmpty())
        return QString();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/file/Help/") + name;
}

void HelpText::onOpenHelpTextWidget()
{
    show();
}

void HelpText::onModifyStyle(const QString &style)
{
    if (!style.isEmpty()) {
        ui->widget->setStyleSheet(style);
        return;
    }
    ui->widget->setStyleSheet(QStringLiteral("background-color:%1;").arg(titleBarColor));
    ui->textEdit->setStyleSheet(
        QStringLiteral(
            "QTextEdit#textEdit{border: 1px solid %1;background-color: rgb(22, 22, 26);}")
            .arg(titleBarColor));
    ui->LB_Help->setText(locale.language() == QLocale::Chinese ? QStringLiteral("帮助")
                                                               : QStringLiteral("Help"));
}

void HelpText::onModifyStyle()
{
    onModifyStyle(QString());
}

void HelpText::onOpenPlainText(const QString &path)
{
    QString fileName = path;
    if (fileName.isNull())
        fileName = QFileDialog::getOpenFileName(this, tr("Open File"), QString(),
                                                QStringLiteral("C++ Files (*.cpp *.h)"));
    if (fileName.isEmpty())
        return;

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QByteArray bytes = file.readAll();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    ui->textEdit->setPlainText(QString::fromUtf8(bytes));
}

void HelpText::setupEditor()
{
    // Part of the dialog's public slots; the editor needs nothing beyond
    // what the form and the constructor already set.
}

void HelpText::onInsertTheImagic(const QString &path)
{
    ui->textEdit->clear();
    // Quoted and escaped, so that a program folder whose name holds an
    // apostrophe, '&' or '<' still yields the whole path.
    ui->textEdit->textCursor().insertHtml(
        QStringLiteral("<img src=\"%1\">").arg(path.toHtmlEscaped()));
}

void HelpText::showHelpText(const QString &html)
{
    ui->textEdit->setHtml(html);
}

void HelpText::onCloseHelpTextWidget()
{
    close();
}

void HelpText::mousePressEvent(QMouseEvent *event)
{
    dragging = event->button() == Qt::LeftButton;
    dragOrigin = event->localPos().toPoint();
}

void HelpText::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging)
        move(pos() + event->localPos().toPoint() - dragOrigin);
}

void HelpText::mouseReleaseEvent(QMouseEvent *)
{
    dragging = false;
}
