// formconv text2bin|bin2text <input> <output>
//
// Converts a form file between the text form ("object Form1: TForm1 ... end")
// and the binary component stream ("TPF0"). The output is written only when
// the whole input converts; errors go to stderr with exit code 1, wrong usage
// exits with 2.
#include "platform/objects/ObjectText.h"
#include "platform/rtl/SafeSave.h"

#include <QFile>
#include <QString>

#include <cstdio>

namespace {

int Usage()
{
    std::fputs("usage: formconv text2bin|bin2text <input> <output>\n", stderr);
    return 2;
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "formconv: %s\n", message.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    if (argc != 4)
        return Usage();
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString inputName = QString::fromLocal8Bit(argv[2]);
    const QString outputName = QString::fromLocal8Bit(argv[3]);
    if (mode != QLatin1String("text2bin") && mode != QLatin1String("bin2text"))
        return Usage();

    QFile input(inputName);
    if (!input.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot open %1: %2").arg(inputName, input.errorString()));
    const QByteArray source = input.readAll();

    QByteArray result;
    try {
        result = mode == QLatin1String("text2bin") ? ObjectTextToBinary(source) : ObjectBinaryToText(source);
    } catch (const std::exception& e) {
        return Fail(QStringLiteral("%1: %2").arg(inputName, QString::fromUtf8(e.what())));
    }

    try {
        SaveBytesToFile(outputName, result);
    } catch (const EFileSaveError& e) {
        return Fail(e.Message());
    }
    return 0;
}
