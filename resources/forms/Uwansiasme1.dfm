object fwAnsiAsme1: TfwAnsiAsme1
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = 'Tolerance wizard   -   values in INCH'
  ClientHeight = 300
  ClientWidth = 470
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'Arial'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnDestroy = FormDestroy
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 15
  object PageControl1: TPageControl
    Left = 8
    Top = 8
    Width = 454
    Height = 240
    ActivePage = ts0
    TabOrder = 0
    object ts0: TTabSheet
      Caption = '1. type'
      object lInstr0: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Type: UN=standard gage; UNS=speciali gage'
      end
      object rUN: TRadioButton
        Left = 24
        Top = 44
        Width = 90
        Height = 19
        Caption = 'UN'
        Checked = True
        TabOrder = 0
        TabStop = True
      end
      object rUNS: TRadioButton
        Left = 24
        Top = 72
        Width = 90
        Height = 19
        Caption = 'UNS'
        TabOrder = 1
      end
      object cJprofile: TCheckBox
        Left = 200
        Top = 44
        Width = 120
        Height = 19
        Caption = 'profile J'
        TabOrder = 2
        Visible = False
      end
      object cRoundN: TCheckBox
        Left = 200
        Top = 72
        Width = 120
        Height = 19
        Caption = 'Round'
        Checked = True
        TabOrder = 3
        OnClick = cRoundNClick
      end
    end
    object ts1: TTabSheet
      Caption = '2. diameter'
      object lInstr1: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Diameter (Inch)'
      end
      object rD0: TRadioButton
        Left = 24
        Top = 44
        Width = 90
        Height = 19
        Caption = '0.0'
        Checked = True
        TabOrder = 0
        TabStop = True
        OnClick = rD0Click
      end
      object rD1: TRadioButton
        Left = 24
        Top = 72
        Width = 90
        Height = 19
        Caption = '1.0'
        TabOrder = 1
        OnClick = rD0Click
      end
      object rD2: TRadioButton
        Left = 24
        Top = 100
        Width = 90
        Height = 19
        Caption = '2.0'
        TabOrder = 2
        OnClick = rD0Click
      end
      object rD3: TRadioButton
        Left = 24
        Top = 128
        Width = 90
        Height = 19
        Caption = '3.0'
        TabOrder = 3
        OnClick = rD0Click
      end
      object rD4: TRadioButton
        Left = 144
        Top = 44
        Width = 90
        Height = 19
        Caption = '4.0'
        TabOrder = 4
        OnClick = rD0Click
      end
      object rD5: TRadioButton
        Left = 144
        Top = 72
        Width = 90
        Height = 19
        Caption = '5.0'
        TabOrder = 5
        OnClick = rD0Click
      end
      object rD6: TRadioButton
        Left = 144
        Top = 100
        Width = 90
        Height = 19
        Caption = '6.0'
        TabOrder = 6
        OnClick = rD0Click
      end
    end
    object ts2: TTabSheet
      Caption = '3. fraction'
      object lInstr2: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Fraction (Inch)'
      end
      object rF1: TRadioButton
        Left = 16
        Top = 40
        Width = 96
        Height = 19
        Caption = 'rF1'
        TabOrder = 0
        OnClick = rF1Click
      end
      object rF2: TRadioButton
        Left = 16
        Top = 66
        Width = 96
        Height = 19
        Caption = 'rF2'
        TabOrder = 1
        OnClick = rF1Click
      end
      object rF3: TRadioButton
        Left = 16
        Top = 92
        Width = 96
        Height = 19
        Caption = 'rF3'
        TabOrder = 2
        OnClick = rF1Click
      end
      object rF4: TRadioButton
        Left = 16
        Top = 118
        Width = 96
        Height = 19
        Caption = 'rF4'
        TabOrder = 3
        OnClick = rF1Click
      end
      object rF5: TRadioButton
        Left = 16
        Top = 144
        Width = 96
        Height = 19
        Caption = 'rF5'
        TabOrder = 4
        OnClick = rF1Click
      end
      object rF6: TRadioButton
        Left = 16
        Top = 170
        Width = 96
        Height = 19
        Caption = 'rF6'
        TabOrder = 5
        OnClick = rF1Click
      end
      object rF7: TRadioButton
        Left = 120
        Top = 40
        Width = 96
        Height = 19
        Caption = 'rF7'
        TabOrder = 6
        OnClick = rF1Click
      end
      object rF8: TRadioButton
        Left = 120
        Top = 66
        Width = 96
        Height = 19
        Caption = 'rF8'
        TabOrder = 7
        OnClick = rF1Click
      end
      object rF9: TRadioButton
        Left = 120
        Top = 92
        Width = 96
        Height = 19
        Caption = 'rF9'
        TabOrder = 8
        OnClick = rF1Click
      end
      object rF10: TRadioButton
        Left = 120
        Top = 118
        Width = 96
        Height = 19
        Caption = 'rF10'
        TabOrder = 9
        OnClick = rF1Click
      end
      object rF11: TRadioButton
        Left = 120
        Top = 144
        Width = 96
        Height = 19
        Caption = 'rF11'
        TabOrder = 10
        OnClick = rF1Click
      end
      object rF12: TRadioButton
        Left = 120
        Top = 170
        Width = 96
        Height = 19
        Caption = 'rF12'
        TabOrder = 11
        OnClick = rF1Click
      end
      object rF13: TRadioButton
        Left = 224
        Top = 40
        Width = 96
        Height = 19
        Caption = 'rF13'
        TabOrder = 12
        OnClick = rF1Click
      end
      object rF14: TRadioButton
        Left = 224
        Top = 66
        Width = 96
        Height = 19
        Caption = 'rF14'
        TabOrder = 13
        OnClick = rF1Click
      end
      object rF15: TRadioButton
        Left = 224
        Top = 92
        Width = 96
        Height = 19
        Caption = 'rF15'
        TabOrder = 14
        OnClick = rF1Click
      end
      object rF16: TRadioButton
        Left = 224
        Top = 118
        Width = 96
        Height = 19
        Caption = 'rF16'
        TabOrder = 15
        OnClick = rF1Click
      end
      object rF17: TRadioButton
        Left = 224
        Top = 144
        Width = 96
        Height = 19
        Caption = 'rF17'
        TabOrder = 16
        OnClick = rF1Click
      end
      object rF18: TRadioButton
        Left = 224
        Top = 170
        Width = 96
        Height = 19
        Caption = 'rF18'
        TabOrder = 17
        OnClick = rF1Click
      end
      object rF19: TRadioButton
        Left = 328
        Top = 40
        Width = 96
        Height = 19
        Caption = 'rF19'
        TabOrder = 18
        OnClick = rF1Click
      end
      object rF20: TRadioButton
        Left = 328
        Top = 66
        Width = 96
        Height = 19
        Caption = 'rF20'
        TabOrder = 19
        OnClick = rF1Click
      end
      object rF21: TRadioButton
        Left = 328
        Top = 92
        Width = 96
        Height = 19
        Caption = 'rF21'
        TabOrder = 20
        OnClick = rF1Click
      end
      object rF22: TRadioButton
        Left = 328
        Top = 118
        Width = 96
        Height = 19
        Caption = 'rF22'
        TabOrder = 21
        OnClick = rF1Click
      end
    end
    object ts3: TTabSheet
      Caption = '4. pitch'
      object lInstr3: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select  Pitch (Tpi)'
      end
      object rTpi1: TRadioButton
        Left = 24
        Top = 40
        Width = 140
        Height = 19
        Caption = 'rTpi1'
        TabOrder = 0
        OnClick = rTpi1Click
      end
      object rTpi2: TRadioButton
        Left = 24
        Top = 68
        Width = 140
        Height = 19
        Caption = 'rTpi2'
        TabOrder = 1
        OnClick = rTpi1Click
      end
      object rTpi3: TRadioButton
        Left = 24
        Top = 96
        Width = 140
        Height = 19
        Caption = 'rTpi3'
        TabOrder = 2
        OnClick = rTpi1Click
      end
      object rTpi4: TRadioButton
        Left = 24
        Top = 124
        Width = 140
        Height = 19
        Caption = 'rTpi4'
        TabOrder = 3
        OnClick = rTpi1Click
      end
      object rTpi5: TRadioButton
        Left = 24
        Top = 152
        Width = 140
        Height = 19
        Caption = 'rTpi5'
        TabOrder = 4
        OnClick = rTpi1Click
      end
      object rTpi6: TRadioButton
        Left = 174
        Top = 40
        Width = 140
        Height = 19
        Caption = 'rTpi6'
        TabOrder = 5
        OnClick = rTpi1Click
      end
      object rTpi7: TRadioButton
        Left = 174
        Top = 68
        Width = 140
        Height = 19
        Caption = 'rTpi7'
        TabOrder = 6
        OnClick = rTpi1Click
      end
      object rTpi8: TRadioButton
        Left = 174
        Top = 96
        Width = 140
        Height = 19
        Caption = 'rTpi8'
        TabOrder = 7
        OnClick = rTpi1Click
      end
      object rTpi9: TRadioButton
        Left = 174
        Top = 124
        Width = 140
        Height = 19
        Caption = 'rTpi9'
        TabOrder = 8
        OnClick = rTpi1Click
      end
    end
    object ts4: TTabSheet
      Caption = '5. tolerance'
      object lInstr4: TLabel
        Left = 12
        Top = 10
        Width = 400
        Height = 15
        Caption = 'Select Tolerance'
      end
      object rT1: TRadioButton
        Left = 24
        Top = 44
        Width = 90
        Height = 19
        Caption = '1A'
        TabOrder = 0
      end
      object rT2: TRadioButton
        Left = 24
        Top = 72
        Width = 90
        Height = 19
        Caption = '2A'
        Checked = True
        TabOrder = 1
        TabStop = True
      end
      object rT3: TRadioButton
        Left = 24
        Top = 100
        Width = 90
        Height = 19
        Caption = '3A'
        TabOrder = 2
      end
    end
  end
  object bBack: TButton
    Left = 206
    Top = 263
    Width = 80
    Height = 25
    Caption = 'Back'
    TabOrder = 1
    OnClick = bBackClick
  end
  object bNext: TButton
    Left = 294
    Top = 263
    Width = 80
    Height = 25
    Caption = 'Next'
    Default = True
    TabOrder = 2
    OnClick = bNextClick
  end
  object bCancel: TButton
    Left = 382
    Top = 263
    Width = 80
    Height = 25
    Caption = '&Cancel'
    ModalResult = 2
    TabOrder = 3
    OnClick = bBackClick
  end
end
