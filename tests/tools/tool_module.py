"""Loads a Python program of tools/ (a file without the .py ending) as a
module, so that the tools' tests can call its functions."""
import importlib.machinery
import importlib.util
import os

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")


def load_tool(name):
    loader = importlib.machinery.SourceFileLoader(name.replace("-", "_"), os.path.join(TOOLS, name))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module
