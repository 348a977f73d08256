// Umbrella header of the docx library.
#pragma once

#include "travo/docx/alignment.h"
#include "travo/docx/cell.h"
#include "travo/docx/document.h"
#include "travo/docx/error.h"
#include "travo/docx/image.h"
#include "travo/docx/length.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/package.h"
#include "travo/docx/paragraph.h"
#include "travo/docx/row.h"
#include "travo/docx/run.h"
#include "travo/docx/table.h"
#include "travo/docx/xml.h"
