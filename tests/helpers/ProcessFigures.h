#pragma once

#include <QtGlobal>

// Figures of this test process, for tests that run thousands of bells and must leave nothing
// behind.
qint64 residentKb();
int openDescriptors();
