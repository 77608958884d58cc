# Builds the extension fsrank._core from the binding and the library's own sources, so that the
# package needs no installed copy of the library. Sources compile in parallel (one job per core)
# and through ccache when CC names it.
import glob
import os
from concurrent.futures import ThreadPoolExecutor

import pybind11
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class ParallelBuildExt(build_ext):
    def build_extensions(self):
        compiler = self.compiler
        # Debian's interpreter flags carry -g (a large, slow build) and nothing we rely on.
        compiler.compiler_so = [f for f in compiler.compiler_so if f not in ("-g", "-O2")]

        def compile(sources, output_dir=None, macros=None, include_dirs=None, debug=0,
                    extra_preargs=None, extra_postargs=None, depends=None):
            macros, objects, extra, pp_opts, build = compiler._setup_compile(
                output_dir, macros, include_dirs, sources, depends, extra_postargs)
            cc_args = compiler._get_cc_args(pp_opts, debug, extra_preargs)

            def one(obj):
                src, ext = build[obj]
                compiler._compile(obj, src, ext, cc_args, extra, pp_opts)

            with ThreadPoolExecutor(max(1, os.cpu_count() or 1)) as pool:
                list(pool.map(one, [o for o in objects if o in build]))
            return objects

        compiler.compile = compile
        super().build_extensions()


library_sources = sorted(glob.glob("src/**/*.cpp", recursive=True))
extension = Extension(
    "fsrank._core",
    sources=["python/fsrank/_core.cpp"] + library_sources,
    include_dirs=["include", "src", pybind11.get_include()],
    # Any header newer than the extension rebuilds it (setuptools checks only these dates).
    depends=sorted(glob.glob("include/**/*.h", recursive=True) +
                   glob.glob("src/**/*.h", recursive=True) + glob.glob("src/**/*.inc", recursive=True) +
                   ["python/fsrank/column_records.h"]),
    language="c++",
    # Results must be bit-identical to the library built by CMake: no fused or reordered
    # floating-point operations.
    extra_compile_args=["-std=c++17", "-O3", "-ffp-contract=off", "-fno-fast-math",
                        "-fvisibility=hidden", "-DFSRANK_BUILDING"],
)

# The CSV block parser of fsrank.dask.rank_csv: the fsrank program's field splitter and number
# parser, without the library.
csv_extension = Extension(
    "fsrank._csv",
    sources=["python/fsrank/_csv.cpp", "tools/fsrank/column_types.cpp"],
    include_dirs=["tools/fsrank", pybind11.get_include()],
    depends=["tools/fsrank/csv_blocks.h", "tools/fsrank/csv_reader.h",
             "tools/fsrank/column_types.h"],
    language="c++",
    extra_compile_args=["-std=c++17", "-O3", "-ffp-contract=off", "-fvisibility=hidden"],
)

setup(ext_modules=[extension, csv_extension], cmdclass={"build_ext": ParallelBuildExt})
