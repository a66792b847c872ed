// The programs' icon: a clock face, drawn rather than shipped as a file.
#pragma once

#include <QIcon>

QIcon HoralogIcon();
