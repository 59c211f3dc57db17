#pragma once
// The C++ source that links a resource image into a program as bytes: a
// function `const QByteArray& <function>()` (declared by the caller's header)
// over a static array.
#include <QByteArray>

#include <cstdint>

inline QByteArray ImageCppSource(const QByteArray& image, const QByteArray& maker, const QByteArray& header,
                                 const QByteArray& function)
{
    QByteArray out = "// Made by " + maker + "; do not edit.\n#include \"" + header +
                     "\"\n\n"
                     "namespace {\n\n"
                     "alignas(16) const unsigned char ImageBytes[] = {\n";
    static const char hex[] = "0123456789abcdef";
    for (qsizetype i = 0; i < image.size(); ++i) {
        const auto b = uint8_t(image[i]);
        out += "0x";
        out += hex[b >> 4];
        out += hex[b & 15];
        out += (i % 16 == 15 || i + 1 == image.size()) ? ",\n" : ",";
    }
    out += "};\n\n"
           "} // namespace\n\n"
           "const QByteArray& " +
           function +
           "()\n"
           "{\n"
           "    static const QByteArray bytes =\n"
           "        QByteArray::fromRawData(reinterpret_cast<const char*>(ImageBytes), qsizetype(sizeof "
           "ImageBytes));\n"
           "    return bytes;\n"
           "}\n";
    return out;
}
