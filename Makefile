# Front door: `make build`, `make test`, `make demo`, `make bench`.
# BUILD and OUT may be pointed elsewhere (parallel work trees, CI).
BUILD ?= build
OUT ?= out
JOBS ?= 2
export KV_BUILD := $(abspath $(BUILD))
export KV_OUT := $(abspath $(OUT))

# Everything generated goes under BUILD: the flavour trees, the downloaded sources
# ($(BUILD)/third_party) and the Wine prefixes ($(BUILD)/wine).
GEN := -G Ninja -Wno-dev -DKV_OUT_ROOT=$(KV_OUT) -DKV_BUILD_ROOT=$(KV_BUILD) \
       -DKV_THIRD_PARTY=$(KV_BUILD)/third_party -DKV_WINE_ROOT=$(KV_BUILD)/wine -DKV_NATIVE_BUILD=$(KV_BUILD)/linux

# Authenticode: the maker's code-signing certificate and key (PEM) for a release build, and a
# file with the key's pass phrase when it has one; without them a development pair is made
# under $(BUILD)/signing/ (cmake/Signing.cmake).
CODESIGN_CERT ?=
CODESIGN_KEY ?=
CODESIGN_PASS ?=
GEN += -DKV_CODESIGN_CERT=$(if $(CODESIGN_CERT),$(abspath $(CODESIGN_CERT))) -DKV_CODESIGN_KEY=$(if $(CODESIGN_KEY),$(abspath $(CODESIGN_KEY))) \
       -DKV_CODESIGN_PASS=$(if $(CODESIGN_PASS),$(abspath $(CODESIGN_PASS)))

.PHONY: all deps configure build parts test demo bench clean

all: build

deps:
	@bash scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD)/linux $(GEN) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake -S . -B $(BUILD)/win64 $(GEN) -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw64.cmake) >/dev/null
	@cmake -S . -B $(BUILD)/win32 $(GEN) -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw32.cmake) >/dev/null

build: configure
	@cmake --build $(BUILD)/linux -j $(JOBS)
	@cmake --build $(BUILD)/win64 -j $(JOBS)
	@cmake --build $(BUILD)/win32 -j $(JOBS)

# Only what the demo runs: the deliverables and the tools (the tests are built by `make test`).
parts: configure
	@cmake --build $(BUILD)/linux -j $(JOBS) --target parts
	@cmake --build $(BUILD)/win64 -j $(JOBS) --target parts
	@cmake --build $(BUILD)/win32 -j $(JOBS) --target parts

test: build
	@bash scripts/test.sh $(BUILD)

# DPI=144: the demo at 150% (the screen's DPI in the demo's prefix).
demo: parts
	@$(if $(DPI),DEMO_DPI=$(DPI) )bash scripts/demo.sh

bench: build
	@bash scripts/bench.sh

clean:
	rm -rf $(BUILD)/linux $(BUILD)/win64 $(BUILD)/win32 $(BUILD)/wine $(OUT)
