#pragma once
// The pictures of the windows, drawn at build time by tools/pictures and
// stored in the resource image as RCDATA named after their files.
#include <QImage>
#include <QString>

#include <functional>

class TImage;
class TImageList;

inline const QString ToleranceTabPicture = QStringLiteral("TOLERANCE_GAUGES_JPG");
inline const QString ThreeWirePicture = QStringLiteral("MEASURE_3WIRE_JPG");
inline const QString ArmsPicture = QStringLiteral("MEASURE_ARMS_JPG");
inline const QString TSpherePicture = QStringLiteral("MEASURE_TSPHERE_JPG");
inline const QString ThermalPicture = QStringLiteral("THERMAL_BAR_JPG");
inline const QString ZeroSearchPicture = QStringLiteral("ZERO_SEARCH_JPG");
// The workpiece sketches: hole, shaft, nut thread, bolt thread.
inline const QString WorkpieceSketchesPicture = QStringLiteral("WORKPIECE_SKETCHES_JPG");

// Puts the JPEG picture of that resource into the image control; false (and
// the control left as it was) when the resource module has no such picture
// or it cannot be decoded, so a missing picture never stops a window.
bool LoadResourcePicture(TImage* image, const QString& resourceName);

// Fills the image list with the pictures of a JPEG strip resource, one per
// list-wide slice; false (and the list left as it was, or emptied when the
// picture cannot be decoded) when there is no such picture.
// With prepare, the decoded strip passes through it before it is sliced.
bool LoadResourceImageList(TImageList* images, const QString& resourceName,
                           const std::function<QImage(const QImage&)>& prepare = {});
