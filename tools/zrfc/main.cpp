// zrfc: compiles the text form of a report project into a project file
// (".zrf") and prints a project file as text.
//
//   zrfc <project.txt> <project.zrf>
//   zrfc --dump <project.zrf> [<project.txt>]      (standard output without
//                                                   a text file)
//
// Both ways go through the project manager: the text is loaded as a project
// and saved, and a project file is loaded and saved before it is printed, so
// the file written and the text printed are what the program reads. The text
// form is described in ZrfText.h. Every report unit is registered, so the
// projects may hold any printable component.
#include "platform/forms/MessageService.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SafeSave.h"
#include "platform/rtl/Streams.h"
#include "report/components/QpZarv.h"
#include "report/model/ZvDefine.h"
#include "report/model/ZvProj.h"
#include "tools/zrfc/ZrfText.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

// Message boxes of the project reader (an unknown class) go to the error
// output.
class TConsoleMessages : public TMessageService {
public:
    int Show(const TMessageBoxRequest& request) override
    {
        std::fprintf(stderr, "zrfc: %s\n", request.Text.toUtf8().constData());
        return IDOK;
    }
};

QByteArray ReadWholeFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    return file.readAll();
}

void WriteWholeFile(const QString& fileName, const QByteArray& bytes)
{
    SaveBytesToFile(fileName, bytes);
}

// The project as the project manager reads and writes it.
QByteArray ThroughProjectManager(const QByteArray& project)
{
    TZarvProjectManager manager(nullptr);
    TMemoryStream input(project);
    manager.LoadFromStream(input);
    TMemoryStream output;
    manager.SaveToStream(output);
    return output.Bytes();
}

int Usage()
{
    std::fprintf(stderr, "usage: zrfc <project.txt> <project.zrf>\n"
                         "       zrfc --dump <project.zrf> [<project.txt>]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreFileSizeSignal();
    QCoreApplication app(argc, argv);
    SetMessageService(std::make_unique<TConsoleMessages>());
    RecordReportWriterProcs();
    RunZarvProcs(QStringLiteral("*"));

    const QStringList args = QCoreApplication::arguments().mid(1);
    try {
        if (!args.isEmpty() && args.first() == QLatin1String("--dump")) {
            if (args.size() < 2 || args.size() > 3)
                return Usage();
            const QByteArray text = ProjectBinaryToText(ThroughProjectManager(ReadWholeFile(args.at(1))));
            if (args.size() == 3) {
                WriteWholeFile(args.at(2), text);
            } else {
                std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
                std::fflush(stdout);
            }
            return 0;
        }
        if (args.size() != 2)
            return Usage();
        WriteWholeFile(args.at(1), ThroughProjectManager(ProjectTextToBinary(ReadWholeFile(args.at(0)))));
        return 0;
    } catch (const Exception& error) {
        std::fprintf(stderr, "zrfc: %s\n", error.Message().toUtf8().constData());
        return 1;
    }
}
