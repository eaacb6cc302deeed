#pragma once

#include "report/FileReport.h"
#include "ui/Prompts.h"

#include <QQueue>

using namespace kq;

// Answers the window's questions from queues and records what it asked and told, in order,
// one line each; never blocks.
class FakePrompts : public IPrompts {
public:
    QQueue<QStringList> openAnswers; // one answer per Open dialog; empty when cancelled
    QQueue<QString> saveAnswers;     // one answer per Save As dialog; empty when cancelled
    QStringList said;
    int beeps = 0;

    QStringList GetOpenFileNames(QWidget*, const QStringList&) override {
        said.append("open");
        return openAnswers.isEmpty() ? QStringList() : openAnswers.dequeue();
    }
    QString GetSaveFileName(QWidget*, const QString& defaultName,
                            const QString& nameFilter) override {
        said.append("save " + defaultName + ' ' + nameFilter);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
    }
    void ShowWarning(QWidget*, const QString& caption, const QString& text) override {
        said.append(caption + " warns: " + text);
    }
    void ShowNotice(QWidget*, const QString& caption, const QString& text) override {
        said.append(caption + " notes: " + text);
    }
    void ShowLeftOut(QWidget*, const QString& caption, const QList<LeftOutFile>& files) override {
        QStringList lines;
        for (const LeftOutFile& file : files)
            lines.append(file.path + ": " + file.reason);
        said.append(caption + " lists: " + lines.join(" | "));
    }
    void Beep() override { ++beeps; }
};
