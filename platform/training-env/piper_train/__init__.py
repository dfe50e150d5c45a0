"""Voice training: preprocessing (piper_train.preprocess), training
(python -m piper_train) and export (piper_train.export_onnx)."""
