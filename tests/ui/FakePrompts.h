#pragma once

#include "ui/Prompts.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// Answers the window's questions from a queue and records its messages; never blocks.
class FakePrompts : public IPrompts {
public:
    struct Warning {
        QString caption;
        QString text;
    };

    QQueue<QStringList> openAnswers; // one answer per Open dialog; empty when cancelled
    QList<QStringList> openFilters;  // the name filters each Open dialog was given
    QList<Warning> warnings;
    QList<Warning> notices;
    QQueue<QString> saveAnswers; // one answer per Save As dialog; empty when cancelled
    struct SaveRequest {
        QString defaultName;
        QString nameFilter;
    };
    QList<SaveRequest> saveRequests;
    int saveDialogs = 0;
    int beeps = 0;

    QStringList GetOpenFileNames(QWidget*, const QStringList& nameFilters) override {
        openFilters.append(nameFilters);
        return openAnswers.isEmpty() ? QStringList() : openAnswers.dequeue();
    }
    QString GetSaveFileName(QWidget*, const QString& defaultName,
                            const QString& nameFilter) override {
        ++saveDialogs;
        saveRequests.append({defaultName, nameFilter});
        return saveAnswers.isEmpty() ? QString() : saveAnswers.dequeue();
    }
    void ShowWarning(QWidget*, const QString& caption, const QString& text) override {
        warnings.append({caption, text});
    }
    void ShowNotice(QWidget*, const QString& caption, const QString& text) override {
        notices.append({caption, text});
    }
    void Beep() override { ++beeps; }
};
