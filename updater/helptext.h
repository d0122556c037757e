#pragma once

#include <QDialog>
#include <QLocale>
#include <QPoint>
#include <QString>

namespace Ui {
class HelpText;
}

// Frameless help window: a coloured title bar with caption and close button
// above a read-only rich-text area that shows a help picture or a text file.
class HelpText : public QDialog
{
    Q_OBJECT

public:
    explicit HelpText(QWidget *parent = nullptr);
    ~HelpText() override;

    // File name of the help picture for a product and language, empty when
    // the product has none.
    static QString helpPictureName(int productId, QLocale::Language language);
    // Full path of that picture in the "file/Help" folder below the
    // program's own folder, empty when the product has none.
    static QString helpPicturePath(int productId, QLocale::Language language);

public slots:
    void onOpenHelpTextWidget();
    void onModifyStyle(const QString &style);
    void onModifyStyle();
    void onOpenPlainText(const QString &path);
    void setupEditor();
    void onInsertTheImagic(const QString &path);
    // For a product without a help picture: the help as rich text.
    void showHelpText(const QString &html);

private slots:
    void onCloseHelpTextWidget();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Ui::HelpText *ui;
    QPoint dragOrigin;
    bool dragging = false;
    QLocale locale;
};
