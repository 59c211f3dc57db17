#pragma once
// The module registry's resource-image parser: a PE image read through
// TPEReader and served as a TResourceImage (strings by ID, resources by type
// and name), and the start-up function that connects the program's
// resources.
#include "platform/os/Modules.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <utility>

class TPEResourceImage : public TResourceImage {
public:
    // Reads the whole resource tree at once, so that a damaged image is
    // refused here (EExeError) and look-ups never fail later. Of each
    // resource the first language is taken; of resources listed twice, the
    // first.
    explicit TPEResourceImage(const QByteArray& image);
    ~TPEResourceImage() override;

    bool FindString(int id, QString& text) const override;
    // name: "#n" for a numeric ID, else the name without regard to case.
    bool FindResource(int type, const QString& name, QByteArray& data) const override;

private:
    std::map<int, QString> FStrings;
    std::map<std::pair<int, QString>, QByteArray> FResources; // (type, "#n" or upper-case name)
};

// Registers TPEResourceImage as the module registry's parser.
void RegisterPEResourceImageParser();
// Start-up: registers the parser, makes programImage the program's resource
// image, and has the localization library take its messages from the
// string table.
void InitProgramResources(const QByteArray& programImage);
