// The RTF engine: the keyword table, the reader (the one tokenizer, the
// group depth and the fragment rule), the sink every pass appends to, and
// the rules the passes share. Each pass is a class of its own over a reader
// and a sink.
#pragma once

#include "rtf/footnote.h"
#include "rtf/keywords.h"
#include "rtf/reader.h"
#include "rtf/sink.h"
#include "rtf/spots.h"
#include "rtf/styles.h"
#include "rtf/writer.h"
