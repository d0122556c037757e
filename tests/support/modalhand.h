#pragma once
// A hand that answers modal windows as they appear, from a 10 ms timer: each message box
// with the button `answers` names for its text, else its first button; each file dialog
// with the next queued path (an empty path cancels).

#include <QElapsedTimer>
#include <QMap>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

class ModalHand : public QObject
{
public:
    ModalHand();

    QStringList boxes; // "title | text | button ..." for each box seen
    // "icon <QMessageBox::Icon>, default <button text>" for each box seen
    QStringList details;
    QMap<QString, QMessageBox::StandardButton> answers;
    QStringList files;
    int holdMs = 0;                // how long each box stays open
    bool removeChosenFile = false; // gone when the window reads it

    QStringList texts() const { return boxTexts; }

private:
    void look();

    QStringList boxTexts;
    QTimer timer;
    QElapsedTimer clock;
};
