// Umbrella header of the docx library.
#pragma once

#include "docx/alignment.h"
#include "docx/cell.h"
#include "docx/document.h"
#include "docx/error.h"
#include "docx/image.h"
#include "docx/length.h"
#include "docx/namespaces.h"
#include "docx/package.h"
#include "docx/paragraph.h"
#include "docx/row.h"
#include "docx/run.h"
#include "docx/table.h"
#include "docx/xml.h"
