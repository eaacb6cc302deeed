// Prints the report directory that a program sees from the folder it runs in, so that the
// installation test can put it where installed programs are.
#include "report/ReportLocation.h"

#include <cstdio>

int main() {
    const QByteArray dir = ReportDirectory().toUtf8();
    return std::fputs(dir.constData(), stdout) < 0 ? 1 : 0;
}
