# `make web`: the library, the program's readers, writers, option tables and
# edit-script code, and the page's engine (web/ktvec_web.cpp), compiled with
# Debian's Emscripten into build-web/ beside the page's own files.  Only
# sources of this tree: no Emscripten port is used (they download at build
# time).  Objects are kept per source, so a second `make web` recompiles what
# changed.
WEB_BUILD ?= build-web
EMXX ?= em++
# Debian's emcc runs its optimizer under the machine's node, which does not
# look in Debian's folder of node modules for the acorn parser it needs.
WEB_ENV = NODE_PATH=/usr/share/nodejs
WEB_CXXFLAGS = -std=c++17 -O3 -DNDEBUG -fwasm-exceptions -Wall -Wextra \
  -Iinclude -I. -Ivectorizer -Ifilter -Iio -Ipreclean -Itools -DKTVEC_BUILD
WEB_LDFLAGS = -O3 -fwasm-exceptions -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createKtvec \
  -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB -sMAXIMUM_MEMORY=4GB \
  -sTOTAL_STACK=8MB -sEXPORTED_RUNTIME_METHODS=UTF8ToString,stringToUTF8,lengthBytesUTF8

WEB_LIBRARY_SOURCES = $(wildcard filter/*.cpp vectorizer/*.cpp raster/*.cpp graph/*.cpp polyline/*.cpp \
  cleanup/*.cpp fit/*.cpp edit/*.cpp undo/*.cpp refine/*.cpp)
# Every reader and writer but libpng's (the browser decodes PNG, and the SVG
# embeds no scan) and the file output (the page hands out downloads).
WEB_BROWSER_REPLACES = $(addprefix io/,png_reader.cpp png_writer.cpp output_file.cpp)
WEB_PROGRAM_SOURCES = $(filter-out $(WEB_BROWSER_REPLACES),$(wildcard io/*.cpp)) \
  $(addprefix tools/,commands.cpp options.cpp postprocess.cpp) $(wildcard preclean/*.cpp)
WEB_SOURCES = $(WEB_LIBRARY_SOURCES) $(WEB_PROGRAM_SOURCES) web/ktvec_web.cpp web/png_browser.cpp
WEB_OBJECTS = $(patsubst %.cpp,$(WEB_BUILD)/obj/%.o,$(WEB_SOURCES))
WEB_PAGE = $(patsubst web/page/%,$(WEB_BUILD)/%,$(wildcard web/page/*))

$(WEB_BUILD)/obj/%.o: %.cpp
	@mkdir -p $(dir $@)
	$(WEB_ENV) $(EMXX) $(WEB_CXXFLAGS) -MMD -MP -c $< -o $@

$(WEB_BUILD)/ktvec.js: $(WEB_OBJECTS)
	$(WEB_ENV) $(EMXX) $(WEB_LDFLAGS) $^ -o $@

$(WEB_BUILD)/%: web/page/%
	@mkdir -p $(WEB_BUILD)
	cp $< $@

-include $(WEB_OBJECTS:.o=.d)

# Without Emscripten nothing here can be built: install it, or say what to
# install where that cannot be done.
.PHONY: web-toolchain
web-toolchain:
	@scripts/deps.sh web
$(WEB_OBJECTS): | web-toolchain
