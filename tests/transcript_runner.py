"""The transcript runner (tests/run-transcripts) as a module, for the runners of transcripts that
need a server or a display of their own."""
import importlib.machinery
import importlib.util
import os


def load():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "run-transcripts")
    loader = importlib.machinery.SourceFileLoader("run_transcripts", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module
