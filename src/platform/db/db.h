// The dataset layer in one include: field types and errors, fields and field
// definitions, the dataset base with its hooks, data sources and data links.
#pragma once

#include "platform/db/dbtypes.h"
#include "platform/db/fields.h"
#include "platform/db/dataset.h"
#include "platform/db/datasource.h"
