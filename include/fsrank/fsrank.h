// fsrank: streaming feature selection. The one header a host includes.
#ifndef FSRANK_FSRANK_H
#define FSRANK_FSRANK_H

#include "fsrank/algorithm.h"
#include "fsrank/enums.h"
#include "fsrank/export.h"
#include "fsrank/factory.h"
#include "fsrank/missing.h"
#include "fsrank/progress.h"
#include "fsrank/record.h"
#include "fsrank/selection.h"
#include "fsrank/settings.h"
#include "fsrank/status.h"

#endif  // FSRANK_FSRANK_H
