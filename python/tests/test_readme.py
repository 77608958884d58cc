import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def test_the_readme_python_section_runs_as_written(tmp_path, monkeypatch):
    text = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    section = text[text.index("## Python"):]
    section = section[:section.index("\n## ", 1)]
    os.symlink(os.path.join(ROOT, "examples"), tmp_path / "examples")
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for block in re.findall(r"```python\n(.*?)```", section, re.S):
        exec(compile(block, "README.md", "exec"), namespace)
    assert namespace["search"].best_score_ > 0.7
