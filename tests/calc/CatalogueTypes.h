#pragma once
// Catalogue records of any family for the calculator tests, and a check that
// a result record holds only numbers or the empty value.
#include "app/core/Ucalibretype.h"
#include "app/core/Unan.h"
#include "calc/Utollerance.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

// The catalogue record of a key family * 1000 + group * 100 + item.
inline CALIBRETYPE CatalogueType(int key)
{
    CALIBRETYPELIST list;
    FillTypeCatalogue(list);
    CALIBRETYPE type;
    type.Family = key / 1000;
    type.Group = key / 100 % 10;
    type.Item = key % 100;
    EXPECT_TRUE(list.Find(type)) << "key " << key;
    return type;
}

// Every field is a finite number or the empty value (no NaN or infinity
// from a computation).
inline void ExpectOnlyValues(const TOLLERANCE& record, int key)
{
    const double* fields = &record.MaxPi;
    for (int i = 0; i < 25; ++i)
        EXPECT_TRUE(std::isfinite(fields[i]) || IsNan(fields[i])) << "key " << key << " field " << i;
}

// Runs a table generator and compares its output with the committed file.
inline void ExpectGeneratorOutput(const char* generator, const char* committedPath)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString output = folder.filePath(QStringLiteral("tables.cpp"));
    QProcess process;
    process.start(QString::fromUtf8(generator), {output});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    QFile generated(output);
    QFile committed(QString::fromUtf8(committedPath));
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(generated.readAll() == committed.readAll())
        << committedPath << " differs from its generator's output";
}
