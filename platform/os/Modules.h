#pragma once
// The module registry: the program's resources as one resource image (string
// tables, form streams, images, version information), and the resource module
// that string and resource look-ups read, which a language's resource image
// can replace.
//
// Images are parsed by a parser registered at start-up (the localization
// library's PE reader), so this layer holds no PE code of its own.
#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Resource types, numbered as in PE images.
constexpr int RT_STRING = 6;
constexpr int RT_RCDATA = 10;
constexpr int RT_VERSION = 16;

// A parsed resource image.
class TResourceImage {
public:
    virtual ~TResourceImage();
    // The string of that id, or false when the image has none.
    virtual bool FindString(int id, QString& text) const = 0;
    // The data of a resource of that type with that name ("#n" for a numeric
    // id), or false.
    virtual bool FindResource(int type, const QString& name, QByteArray& data) const = 0;
};

// Parses image bytes; raises an Exception on a bad image.
using TResourceImageParser = std::function<std::unique_ptr<TResourceImage>(const QByteArray& image)>;
void RegisterResourceImageParser(TResourceImageParser parser);

// The program's own image (set once at start-up). It is also the resource
// module until SetResourceModule replaces it.
void SetProgramResourceImage(const QByteArray& image);
const TResourceImage* ProgramResourceImage();
// Makes another image (a language's resources) the resource module; raises
// when it cannot be parsed and then keeps the current one.
void SetResourceModule(const QByteArray& image);
// The same with a resource DLL on disk; EFOpenError when it cannot be read.
void LoadResourceModuleFile(const QString& fileName);
// Back to the program's own image.
void ResetResourceModule();
const TResourceImage* CurrentResourceModule();
// The bytes of the program's image and of the resource module (empty before
// start-up), for readers that walk an image whole.
QByteArray ProgramResourceImageData();
QByteArray CurrentResourceModuleData();

// The string of that id from the resource module; "" when it is not there.
QString LoadStr(int id);
// A resource of the resource module; false when it is not there.
bool FindResourceData(int type, const QString& name, QByteArray& data);
