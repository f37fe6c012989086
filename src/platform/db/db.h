// The dataset layer in one include: field types and errors, fields and field
// definitions, the dataset base with its hooks, data sources and data links.
#pragma once

#include <fyndra/platform/db/dataset.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/db/fields.h>
