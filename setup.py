"""Builds the Python package mytarvo: CMake compiles the module mytarvo._core (with the
library it wraps) for the interpreter running this script; setuptools does the rest.

    python3 -m pip install --no-build-isolation .

Needs CMake, a C++20 compiler, the interpreter's headers and pybind11 (Debian:
cmake g++ python3-dev pybind11-dev). Nothing is downloaded.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    """An extension module whose build is left to CMake."""

    def __init__(self, name: str, target: str) -> None:
        super().__init__(name, sources=[])
        self.target = target


class CMakeBuild(build_ext):
    def build_extension(self, ext: CMakeExtension) -> None:
        destination = Path(self.get_ext_fullpath(ext.name)).resolve()
        build_dir = Path(self.build_temp).resolve() / "cmake"
        build_dir.mkdir(parents=True, exist_ok=True)
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DMYTARVO_BUILD_TESTS=OFF", "-DMYTARVO_BUILD_TOOLS=OFF", "-DMYTARVO_BUILD_BENCH=OFF",
            "-DMYTARVO_WERROR=OFF", "-DMYTARVO_PYTHON=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
            f"-DMYTARVO_PYTHON_MODULE_DIR={destination.parent}",
        ]
        try:
            import pybind11  # the pip-installed form; Debian's pybind11-dev is found without it
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build_dir), "--target", ext.target, "-j", jobs])
        if not destination.exists():
            raise RuntimeError(f"CMake did not produce {destination}")


setup(
    ext_modules=[CMakeExtension("mytarvo._core", target="mytarvo_python")],
    cmdclass={"build_ext": CMakeBuild},
)
