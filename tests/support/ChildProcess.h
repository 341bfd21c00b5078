#pragma once
// Runs a program (ffmpeg, ffprobe...) to its end and answers what it wrote to its standard
// output; *ok tells whether it exited with 0. Its standard input and error are /dev/null.
//
// Tests start programs through this rather than QProcess: QProcess starts its children with
// a raw clone() that ThreadSanitizer does not see, after which the checker loses track of the
// lock hand-overs between the test's threads and reports races that are none.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace clipdeck::test {

QByteArray runProgram(const QString& program, const QStringList& arguments, bool* ok);

} // namespace clipdeck::test
