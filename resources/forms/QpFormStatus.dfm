object QpStatusForm: TQpStatusForm
  Left = 0
  Top = 0
  BorderIcons = []
  BorderStyle = bsDialog
  Caption = 'Report Status'
  ClientHeight = 113
  ClientWidth = 361
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 14
  object StatusLabel: TLabel
    Left = 8
    Top = 12
    Width = 345
    Height = 49
    Alignment = taCenter
    AutoSize = False
    Layout = tlCenter
    WordWrap = True
  end
  object CancelButton: TButton
    Left = 143
    Top = 76
    Width = 75
    Height = 25
    Cancel = True
    Caption = 'Cancel'
    Default = True
    ModalResult = 2
    TabOrder = 0
    OnClick = CancelButtonClick
  end
end
