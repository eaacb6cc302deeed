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
    int saveDialogs = 0;

    QStringList GetOpenFileNames(QWidget*, const QStringList& nameFilters) override {
        openFilters.append(nameFilters);
        return openAnswers.isEmpty() ? QStringList() : openAnswers.dequeue();
    }
    QString GetSaveFileName(QWidget*, const QString&) override {
        ++saveDialogs;
        return {};
    }
    void ShowWarning(QWidget*, const QString& caption, const QString& text) override {
        warnings.append({caption, text});
    }
};
