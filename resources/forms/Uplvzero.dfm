object fplvZero: TfplvZero
  Left = 0
  Top = 0
  BorderIcons = []
  BorderStyle = bsDialog
  Caption = 'Tessvar'
  ClientHeight = 128
  ClientWidth = 468
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  FormStyle = fsStayOnTop
  OldCreateOrder = False
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 15
  object pBack: TPanel
    Left = 0
    Top = 0
    Width = 468
    Height = 128
    Align = alClient
    BevelOuter = bvNone
    Color = clMaroon
    TabOrder = 0
    object iBack: TImage
      Left = 0
      Top = 0
      Width = 468
      Height = 128
      Align = alClient
      Stretch = True
    end
    object tplvmessage: TLabel
      Left = 0
      Top = 36
      Width = 468
      Height = 22
      Alignment = taCenter
      AutoSize = False
      Caption = 'Ricerca dello zero in corso...'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWhite
      Font.Height = -15
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
      Transparent = True
    end
    object lMove: TLabel
      Left = 0
      Top = 76
      Width = 468
      Height = 15
      Alignment = taCenter
      AutoSize = False
      Caption = 'muovere la pinola per tutta la corsa'
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clWhite
      Font.Height = -11
      Font.Name = 'Arial'
      Font.Style = []
      ParentFont = False
      Transparent = True
    end
  end
end
